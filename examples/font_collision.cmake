add_executable(font_collision ${CMAKE_CURRENT_LIST_DIR}/font_collision.cpp)
target_link_libraries(font_collision PRIVATE vxl_gl vxl_freetype vxl_pixmaploaders vxl_event_queue
                                             vxl_example_screenshot)
# Headless in CI: frames under the test X server, the last saved as PNG.
add_test(NAME example_font_collision_screenshot
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/test_devices.sh --display
                 $<TARGET_FILE:font_collision> --frames 75 --screenshot
                 ${CMAKE_CURRENT_BINARY_DIR}/font_collision.png)
set_tests_properties(example_font_collision_screenshot PROPERTIES LABELS display)
