# The plain-library anchors link libpng and the same static libjpeg as the loaders, and SDL2 with
# SDL2_image (a dependency of this benchmark alone).
find_package(PNG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_SDL_IMAGE REQUIRED IMPORTED_TARGET SDL2_image)
vxl_bench(bench_pixmap SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pixmap.cpp
          LIBS vxl_pixmaploaders PNG::PNG ${VXL_JPEG_STATIC} PkgConfig::BENCH_SDL_IMAGE)
