vxl_fuzzer(fuzz_text_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_text_stream.cpp
           LIBS vxl_stream vxl_teststreams)
