vxl_fuzzer(fuzz_http_head SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_http_head.cpp
           LIBS vxl_net vxl_teststreams)
