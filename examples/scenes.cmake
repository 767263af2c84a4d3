add_executable(scenes ${CMAKE_CURRENT_LIST_DIR}/scenes.cpp)
target_link_libraries(scenes PRIVATE vxl_gl vxl_pixmaploaders vxl_event_queue vxl_example_scenes)
