vxl_fuzzer(fuzz_wav_loader SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_wav_loader.cpp
           LIBS vxl_audio vxl_teststreams)
