vxl_bench(bench_process SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_process.cpp
          LIBS vxl_process vxl_reflection)
