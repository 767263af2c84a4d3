# Installation: the module archives, the launcher, the public headers and the package files that
# let programs find the framework with CMake (find_package(vxl)) or pkg-config (vxl.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Headers that name a library's or the system's own types belong to the native layers'
# implementations: they stay private, and no installed header may include one (the header check
# in scripts/check_install.sh compiles every installed header on its own).
set(VXL_PRIVATE_HEADER_PATTERN
    "#[ \t]*include[ \t]*<(SDL2/|SDL|png\\.h|jpeglib|jerror|ft2build|freetype/|AL/|GL/|X11/|enet/|vorbis/|ogg/|unistd|sys/|pthread|dlfcn|poll|fcntl|signal\\.h)")

# vxl_install(): call once every module target exists.
function(vxl_install)
  get_property(modules GLOBAL PROPERTY VXL_MODULES)
  foreach(module ${modules})
    string(REGEX REPLACE "^vxl_" "" short ${module})
    set_target_properties(${module} PROPERTIES EXPORT_NAME ${short})
  endforeach()
  set_target_properties(vxl PROPERTIES EXPORT_NAME vxl)
  set(exported ${modules} vxl)
  if(TARGET vxl_startup)
    list(APPEND exported vxl_startup)
  endif()
  list(REMOVE_DUPLICATES exported)  # the start-up may be listed as a module already
  install(TARGETS ${exported} EXPORT vxlTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vxl ${CMAKE_INSTALL_INCLUDEDIR})
  install(TARGETS launcher RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # Public headers keep the source tree under include/vxl/: <vxl/pixmap/pixmap.h>.
  file(GLOB_RECURSE headers RELATIVE ${PROJECT_SOURCE_DIR}/src CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/*.h)
  foreach(header ${headers})
    if(header MATCHES "^app/")
      continue()  # the launcher's own code
    endif()
    file(READ ${PROJECT_SOURCE_DIR}/src/${header} text)
    if(text MATCHES "${VXL_PRIVATE_HEADER_PATTERN}")
      continue()
    endif()
    get_filename_component(dir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/src/${header}
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vxl/${dir})
  endforeach()
  get_property(generated_headers GLOBAL PROPERTY VXL_GENERATED_HEADERS)
  foreach(generated ${generated_headers})
    file(RELATIVE_PATH rel ${PROJECT_BINARY_DIR}/generated ${generated})
    get_filename_component(dir ${rel} DIRECTORY)
    install(FILES ${generated} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vxl/${dir})
  endforeach()

  set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vxl)
  install(EXPORT vxlTargets NAMESPACE vxl:: DESTINATION ${package_dir})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vxlConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/vxlConfig.cmake
                                INSTALL_DESTINATION ${package_dir})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/vxlConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/vxlConfig.cmake ${PROJECT_BINARY_DIR}/vxlConfigVersion.cmake
                ${PROJECT_SOURCE_DIR}/cmake/vxl_dependencies.cmake
          DESTINATION ${package_dir})

  # pkg-config: the archives in link order (a module before the modules it builds on, which is
  # the reverse of the order they were added in) and the system libraries for --static.
  set(libs)
  set(reversed ${modules})
  list(REVERSE reversed)
  if(TARGET vxl_startup)
    list(PREPEND reversed vxl_startup)
  endif()
  list(REMOVE_DUPLICATES reversed)
  foreach(module ${reversed})
    string(APPEND libs " -l${module}")
  endforeach()
  get_target_property(jpeg vxl_deps::jpeg IMPORTED_LOCATION)
  set(VXL_PC_LIBS "${libs}")
  set(VXL_PC_LIBS_PRIVATE "${jpeg}")
  foreach(lib ${CMAKE_DL_LIBS})
    string(APPEND VXL_PC_LIBS_PRIVATE " -l${lib}")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vxl.pc.in ${PROJECT_BINARY_DIR}/vxl.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/vxl.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
