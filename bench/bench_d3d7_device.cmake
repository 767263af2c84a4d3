# The software Direct3D 7 device (no window): DrawPrimitive of sprite fans against the
# rasteriser's span path called directly.
vxl_bench(bench_d3d7_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_d3d7_device.cpp
          LIBS vxl_platform_d3d7)
