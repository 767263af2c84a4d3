vxl_fuzzer(fuzz_font SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_font.cpp
           LIBS vxl_freetype vxl_teststreams)
