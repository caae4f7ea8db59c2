# Configures the release preset as on a machine without GoogleTest and Google
# Benchmark, in BUILD_DIR: the configure must succeed, say once which Debian
# packages to install, and leave the program to build; CTest must then fail at
# once, its one test saying the same sentence. Called by CTest with
# -DSOURCE_DIR=... -DBUILD_DIR=...; .ci/run also builds and runs the example
# on such a configuration, in a copy of the checkout of its own.
include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)
file(REMOVE_RECURSE ${BUILD_DIR})

execute_process(COMMAND ${CMAKE_COMMAND} --preset release -B ${BUILD_DIR}
                        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
                        -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
                WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the configure ended with ${status}:\n${out}${err}")
endif()
set(packages "apt install libgtest-dev libbenchmark-dev")
string(REGEX MATCHALL "[^\n]*${packages}[^\n]*" sentences "${out}${err}")
list(LENGTH sentences count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "the configure names the packages ${count} times, not once:\n${out}${err}")
endif()

# The program and its example run are there to build.
run(${CMAKE_COMMAND} --build ${BUILD_DIR} --target help)
foreach(target ephemeris run-example)
  if(NOT out MATCHES "(^|\n)${target}:")
    message(FATAL_ERROR "no target ${target} without the test libraries:\n${out}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${BUILD_DIR} --output-on-failure
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
string(FIND "${out}" "${sentences}" at)
if(status EQUAL 0 OR at EQUAL -1 OR NOT out MATCHES "1 tests failed out of 1\n")
  message(FATAL_ERROR "CTest ended with ${status}, not failing with the sentence\n"
                      "${sentences}\n${out}${err}")
endif()
message("without GoogleTest and Google Benchmark: ${sentences}")
file(REMOVE_RECURSE ${BUILD_DIR})
