vxl_fuzzer(fuzz_synk SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_synk.cpp LIBS vxl_synk)
