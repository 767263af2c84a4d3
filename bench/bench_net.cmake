vxl_bench(bench_net SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_net.cpp LIBS vxl_net vxl_synk)
target_include_directories(bench_net PRIVATE ${PROJECT_SOURCE_DIR}/tests)
