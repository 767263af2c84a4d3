# What llvmpipe's filling costs for the Kor2D sprite scene under each way of sending it. Links
# libGL itself (the file SDL loads too).
find_package(SDL2 REQUIRED)
set(OpenGL_GL_PREFERENCE LEGACY)
find_package(OpenGL REQUIRED)
vxl_bench(bench_kor2d_fill SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_kor2d_fill.cpp
          LIBS SDL2::SDL2 OpenGL::GL)
