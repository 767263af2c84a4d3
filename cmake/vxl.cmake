# Helpers shared by every module, test, benchmark and fuzz target.

# vxl_module(<name> SOURCES <files...> [DEPS <vxl targets...>] [LIBS <system libs...>])
# Builds the library vxl_<name>. DEPS are the modules it builds on (linked publicly, so the
# dependency graph of the build is the architecture); LIBS are private system libraries.
function(vxl_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS;LIBS" ${ARGN})
  add_library(vxl_${name} STATIC ${M_SOURCES})
  target_include_directories(vxl_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(vxl_${name} PUBLIC ${M_DEPS} PRIVATE ${M_LIBS})
  set_property(GLOBAL APPEND PROPERTY VXL_MODULES vxl_${name})
endfunction()

# vxl_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# A GoogleTest executable registered with CTest test by test.
function(vxl_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vxl_testsupport GTest::gtest_main)
  gtest_discover_tests(${name} PROPERTIES LABELS "${T_LABELS}"
                       DISCOVERY_TIMEOUT 60)
endfunction()

# vxl_bench(<name> SOURCES <files...> LIBS <targets...>)
function(vxl_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
endfunction()

# vxl_fuzzer(<name> SOURCES <files...> LIBS <targets...>)
function(vxl_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# Adds every listed sub-folder that exists, so modules can land one at a time.
macro(vxl_add_existing)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()
