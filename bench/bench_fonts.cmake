# Text in a font file through Kor2D over OpenGL against images drawn the same way.
vxl_bench(bench_fonts SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_fonts.cpp LIBS vxl_gl vxl_freetype)
