vxl_bench(bench_streams SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_streams.cpp LIBS vxl_stream)
