vxl_bench(bench_runtime SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_runtime.cpp LIBS vxl_runtime)
