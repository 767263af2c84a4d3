add_executable(sprites ${CMAKE_CURRENT_LIST_DIR}/sprites.cpp)
target_link_libraries(sprites PRIVATE vxl_gl vxl_pixmaploaders vxl_event_queue)
