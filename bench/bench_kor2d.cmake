# Kor2D over OpenGL against SDL_Renderer's "opengl" driver on the same software GL.
find_package(SDL2 REQUIRED)
vxl_bench(bench_kor2d SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_kor2d.cpp
          LIBS vxl_gl SDL2::SDL2)
