# OpenAL Soft is opened on first use through its platform table; vorbisfile is linked here for the
# plain decoding loop the Ogg loader is measured against.
vxl_bench(bench_mixer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp
          LIBS vxl_tonmix vxl_platform_openal vorbisfile)
