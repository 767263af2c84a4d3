vxl_fuzzer(fuzz_data_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_data_stream.cpp
           LIBS vxl_data vxl_bank vxl_list vxl_teststreams)
