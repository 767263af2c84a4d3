add_executable(image_convert ${CMAKE_CURRENT_LIST_DIR}/image_convert.cpp)
target_link_libraries(image_convert PRIVATE vxl_pixmaploaders)
