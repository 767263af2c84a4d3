add_executable(sprites ${CMAKE_CURRENT_LIST_DIR}/sprites.cpp)
target_link_libraries(sprites PRIVATE vxl_gl vxl_pixmaploaders vxl_event_queue vxl_example_screenshot)
# Headless in CI: a few frames under the test X server, the last saved as PNG.
add_test(NAME example_sprites_screenshot
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/test_devices.sh --display $<TARGET_FILE:sprites>
                 --frames 10 --screenshot ${CMAKE_CURRENT_BINARY_DIR}/sprites.png)
set_tests_properties(example_sprites_screenshot PROPERTIES LABELS display)
