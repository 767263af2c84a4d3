add_executable(event_viewer ${CMAKE_CURRENT_LIST_DIR}/event_viewer.cpp)
target_link_libraries(event_viewer PRIVATE vxl_event_queue vxl_timer)
