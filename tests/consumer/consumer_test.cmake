# Run by the test "consumer_project":
#   cmake -DVXL_SOURCE=<root> -DWORK=<scratch dir> -P consumer_test.cmake
# Configures and builds tests/consumer (the framework as a subproject, the program without NDEBUG),
# runs the program, and checks that the framework's tests, benchmarks and examples are off there.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${VXL_SOURCE}/tests/consumer -B ${WORK} -G Ninja
          -DVXL_SOURCE=${VXL_SOURCE}
  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed)
  message(FATAL_ERROR "configuring the consumer failed:\n${out}")
endif()
file(READ ${WORK}/options.txt options)
if(NOT options STREQUAL "VXL_TESTS=OFF\nVXL_BENCH=OFF\nVXL_EXAMPLES=OFF\n")
  message(FATAL_ERROR "a subproject builds more than the framework:\n${options}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} --target consumer
                RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(failed)
  message(FATAL_ERROR "building the consumer failed:\n${out}")
endif()
execute_process(COMMAND ${WORK}/consumer RESULT_VARIABLE failed OUTPUT_VARIABLE out)
if(failed OR NOT out STREQUAL "counted\n")
  message(FATAL_ERROR "the consumer ran wrong (${failed}): ${out}")
endif()
