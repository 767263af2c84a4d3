add_executable(play_audio ${CMAKE_CURRENT_LIST_DIR}/play_audio.cpp)
target_link_libraries(play_audio PRIVATE vxl_tonmix vxl_directsound vxl_openal vxl_example_support)
