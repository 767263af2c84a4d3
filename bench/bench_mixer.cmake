# OpenAL Soft is opened on first use through its platform table; vorbisfile and stb_vorbis are
# linked here for the plain decoding loops the Ogg loader is measured against, SDL2 and SDL2_mixer
# for the mixer's second anchor (dependencies of this benchmark alone).
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_SDL_MIXER REQUIRED IMPORTED_TARGET SDL2_mixer)
find_library(BENCH_STB_STATIC libstb.a REQUIRED)
find_path(BENCH_STB_INCLUDE stb_vorbis.h PATH_SUFFIXES stb REQUIRED)
vxl_bench(bench_mixer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_mixer.cpp
          LIBS vxl_tonmix vxl_platform_openal vorbisfile PkgConfig::BENCH_SDL_MIXER
               ${BENCH_STB_STATIC})
target_include_directories(bench_mixer PRIVATE ${BENCH_STB_INCLUDE})
