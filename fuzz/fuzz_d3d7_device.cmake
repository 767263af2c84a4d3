vxl_fuzzer(fuzz_d3d7_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_d3d7_device.cpp
           LIBS vxl_platform_d3d7)
