vxl_bench(bench_collections SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_collections.cpp
          LIBS vxl_list vxl_map vxl_bank vxl_memstream)
