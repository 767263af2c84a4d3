vxl_fuzzer(fuzz_d3d7_raster SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_d3d7_raster.cpp
           LIBS vxl_platform_d3d7)
