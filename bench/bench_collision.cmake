# Image collision against the tests' brute-force per-pixel reference; no display.
vxl_bench(bench_collision SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_collision.cpp LIBS vxl_kor2d)
target_include_directories(bench_collision PRIVATE ${PROJECT_SOURCE_DIR}/tests)
