add_executable(synk_chat ${CMAKE_CURRENT_LIST_DIR}/synk_chat.cpp)
target_link_libraries(synk_chat PRIVATE vxl_synk vxl_example_support)
