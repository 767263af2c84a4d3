# The DirectSound and OpenAL drivers against the software mixer and against plain OpenAL calls.
vxl_bench(bench_audio_drivers SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_audio_drivers.cpp
          LIBS vxl_directsound vxl_openal vxl_tonmix)
