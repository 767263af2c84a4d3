# The plain-library anchors link libpng and the same static libjpeg as the loaders.
find_package(PNG REQUIRED)
vxl_bench(bench_pixmap SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pixmap.cpp
          LIBS vxl_pixmaploaders PNG::PNG ${VXL_JPEG_STATIC})
