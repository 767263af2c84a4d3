vxl_fuzzer(fuzz_image_data SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_image_data.cpp
           LIBS vxl_kor2d vxl_list vxl_teststreams)
