# OpenAL Soft is opened with dlopen in the benchmark only; vorbisfile is linked here for the plain
# decoding loop the Ogg loader is measured against.
vxl_bench(bench_mixer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp
          LIBS vxl_tonmix vorbisfile ${CMAKE_DL_LIBS})
