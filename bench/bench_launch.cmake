add_executable(bench_launch_min ${CMAKE_CURRENT_LIST_DIR}/bench_launch_min.c)
vxl_bench(bench_launch SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_launch.cpp LIBS vxl_startup)
add_dependencies(bench_launch launcher bench_launch_min)
