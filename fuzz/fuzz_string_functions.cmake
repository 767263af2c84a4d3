vxl_fuzzer(fuzz_string_functions SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_string_functions.cpp
           LIBS vxl_runtime)
