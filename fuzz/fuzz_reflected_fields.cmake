vxl_fuzzer(fuzz_reflected_fields SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_reflected_fields.cpp
           LIBS vxl_classprobe)
