vxl_fuzzer(fuzz_memory_streams SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_memory_streams.cpp
           LIBS vxl_memstream)
