# System libraries the framework's static archives link. Read by the build and, installed beside
# vxlConfig.cmake, by every program that finds the installed framework, so both resolve them alike.
# Everything else the framework uses (SDL2, libpng, vorbisfile, ENet, OpenAL, ...) is opened on
# first use and needs no link step.

# libjpeg from its static archive: programs that start the framework load no image library.
if(NOT TARGET vxl_deps::jpeg)
  find_library(VXL_JPEG_STATIC NAMES libjpeg.a)
  if(NOT VXL_JPEG_STATIC)
    message(FATAL_ERROR "vxl needs libjpeg's static archive (Debian: libjpeg62-turbo-dev)")
  endif()
  add_library(vxl_deps::jpeg STATIC IMPORTED)
  set_target_properties(vxl_deps::jpeg PROPERTIES IMPORTED_LOCATION ${VXL_JPEG_STATIC})
endif()
