# Helpers shared by every module, test, benchmark and fuzz target.

# vxl_module(<name> SOURCES <files...> [DEPS <vxl targets...>] [LIBS <system libs...>])
# Builds the library vxl_<name>. DEPS are the modules it builds on (linked publicly, so the
# dependency graph of the build is the architecture); LIBS are private system libraries.
function(vxl_module name)
  cmake_parse_arguments(M "" "" "SOURCES;DEPS;LIBS" ${ARGN})
  add_library(vxl_${name} STATIC ${M_SOURCES})
  target_include_directories(vxl_${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>)
  target_link_libraries(vxl_${name} PUBLIC ${M_DEPS} PRIVATE ${M_LIBS})
  set_property(GLOBAL APPEND PROPERTY VXL_MODULES vxl_${name})
endfunction()

# vxl_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>])
# A GoogleTest executable registered with CTest test by test. Labels: unit (the default), display
# (runs with an X server), audio (runs with SDL's disk audio driver), net (loopback only); the
# devices come from tests/support/test_devices.sh. Each test takes one label (a second one would be
# taken for a property name in the discovered test list). A ThreadSanitizer build
# (VXL_SANITIZE=thread) has only the tests named in VXL_THREAD_TESTS.
function(vxl_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} vxl_testsupport GTest::gtest_main)
  set(devices)
  if("display" IN_LIST T_LABELS)
    list(APPEND devices --display)
  endif()
  if("audio" IN_LIST T_LABELS)
    list(APPEND devices --audio)
  endif()
  if(devices)
    # GoogleTest's discovery runs the tests through the target's emulator: here the device setup.
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR
                 ${PROJECT_SOURCE_DIR}/tests/support/test_devices.sh ${devices})
  endif()
  if(VXL_SANITIZE_THREAD AND NOT name IN_LIST VXL_THREAD_TESTS)
    # The ThreadSanitizer build builds and runs only the tests that cross threads.
    set_property(TARGET ${name} PROPERTY EXCLUDE_FROM_ALL ON)
    return()
  endif()
  set(environment)
  if(VXL_SANITIZE_ADDRESS)
    set(environment ENVIRONMENT
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0")
  elseif(VXL_SANITIZE_THREAD)
    set(environment ENVIRONMENT
        "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
  endif()
  gtest_discover_tests(${name} PROPERTIES LABELS "${T_LABELS}" ${environment}
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

# vxl_module_checks()
# Adds the test "module_includes": no module includes a header of a module it does not link, and
# the test "module_globals": no module global is destroyed at exit (cmake/check_*.cmake).
# The rules come from the build graph: each module's folder under src/ and the folders of every
# module it links, directly or through its DEPS. Call it after every module has been added.
function(vxl_module_checks)
  get_property(modules GLOBAL PROPERTY VXL_MODULES)
  set(rules "# Generated: each module's folder under src/ and the folders it may include from.\n")
  set(dirs)
  foreach(module ${modules})
    get_target_property(dir ${module} SOURCE_DIR)
    file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR}/src ${dir})
    list(APPEND dirs ${dir})
    _vxl_linked_modules(${module} linked)
    set(allowed ${dir})
    foreach(dep ${linked})
      get_target_property(dep_dir ${dep} SOURCE_DIR)
      file(RELATIVE_PATH dep_dir ${PROJECT_SOURCE_DIR}/src ${dep_dir})
      list(APPEND allowed ${dep_dir})
    endforeach()
    string(MAKE_C_IDENTIFIER "${dir}" key)
    string(APPEND rules "set(VXL_MODULE_${key} ${module})\nset(VXL_ALLOWED_${key} ${allowed})\n")
  endforeach()
  string(APPEND rules "set(VXL_MODULE_DIRS ${dirs})\n")
  file(WRITE ${PROJECT_BINARY_DIR}/module_include_rules.cmake "${rules}")
  add_test(NAME module_includes
           COMMAND ${CMAKE_COMMAND} -DSOURCE_ROOT=${PROJECT_SOURCE_DIR}/src
                   -DRULES=${PROJECT_BINARY_DIR}/module_include_rules.cmake
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_module_includes.cmake)
  add_test(NAME module_globals
           COMMAND ${CMAKE_COMMAND} -DSOURCE_ROOT=${PROJECT_SOURCE_DIR}/src
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_module_globals.cmake)
  set_tests_properties(module_includes module_globals PROPERTIES LABELS unit)
endfunction()

# The vxl_ modules `target` links, directly or through the modules it links.
function(_vxl_linked_modules target out)
  set(found)
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    get_target_property(deps ${current} LINK_LIBRARIES)
    foreach(dep ${deps})
      if(TARGET ${dep} AND dep MATCHES "^vxl_" AND NOT dep IN_LIST found)
        list(APPEND found ${dep})
        list(APPEND pending ${dep})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
