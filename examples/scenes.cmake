add_executable(scenes ${CMAKE_CURRENT_LIST_DIR}/scenes.cpp)
target_link_libraries(scenes PRIVATE vxl_gl vxl_d3d7 vxl_pixmaploaders vxl_event_queue
                      vxl_example_scenes vxl_example_screenshot)
# Headless in CI: the software driver through SDL's offscreen video, OpenGL under the test X server.
add_test(NAME example_scenes_d3d7_screenshot
         COMMAND ${CMAKE_COMMAND} -E env SDL_VIDEODRIVER=offscreen $<TARGET_FILE:scenes> DirectX7
                 --frames 2 --screenshot ${CMAKE_CURRENT_BINARY_DIR}/scenes-d3d7.png)
set_tests_properties(example_scenes_d3d7_screenshot PROPERTIES LABELS unit)
add_test(NAME example_scenes_opengl_screenshot
         COMMAND ${PROJECT_SOURCE_DIR}/tests/support/test_devices.sh --display $<TARGET_FILE:scenes>
                 OpenGL --frames 2 --screenshot ${CMAKE_CURRENT_BINARY_DIR}/scenes-opengl.png)
set_tests_properties(example_scenes_opengl_screenshot PROPERTIES LABELS display)
