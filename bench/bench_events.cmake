vxl_bench(bench_events SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_events.cpp
          LIBS vxl_event_queue vxl_timer)
