# The "DirectX7" Kor2D driver against SDL_Renderer's "software" driver and Kor2D over OpenGL.
if(TARGET vxl_d3d7)
  find_package(SDL2 REQUIRED)
  vxl_bench(bench_d3d7 SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_d3d7.cpp
            LIBS vxl_d3d7 vxl_gl SDL2::SDL2)
endif()
