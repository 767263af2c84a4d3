vxl_fuzzer(fuzz_ogg_loader SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ogg_loader.cpp
           LIBS vxl_audio vxl_teststreams)
