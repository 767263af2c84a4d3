vxl_bench(bench_filesystem SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_filesystem.cpp
          LIBS vxl_filesystem)
