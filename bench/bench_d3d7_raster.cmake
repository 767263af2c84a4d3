# The software rasteriser alone (no window): its span path against its two-triangle path.
vxl_bench(bench_d3d7_raster SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_d3d7_raster.cpp
          LIBS vxl_platform_d3d7)
