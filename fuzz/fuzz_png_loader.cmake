vxl_fuzzer(fuzz_png_loader SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_pixmap_loader.cpp
           LIBS vxl_pixmaploaders vxl_teststreams)
target_compile_definitions(fuzz_png_loader PRIVATE VXL_FUZZ_LOADER_INIT=InitPngLoaderModule)
