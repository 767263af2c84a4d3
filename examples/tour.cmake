# The README's tour: one short program per area, built so that the snippets the README shows
# (pasted there by scripts/readme_tour.sh) always compile.
file(GLOB vxl_tour_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tour/*.cpp)
foreach(source ${vxl_tour_sources})
  get_filename_component(name ${source} NAME_WE)
  add_executable(tour_${name} ${source})
  target_link_libraries(tour_${name} PRIVATE vxl_startup)
endforeach()
