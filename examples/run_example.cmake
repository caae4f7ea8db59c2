# Runs the program on a copy of the example element file and shows the first
# records it wrote. Called by the build's run-example target with PROGRAM,
# EXAMPLE and WORKDIR set.
file(REMOVE_RECURSE "${WORKDIR}")
file(MAKE_DIRECTORY "${WORKDIR}")
file(COPY "${EXAMPLE}" DESTINATION "${WORKDIR}")
execute_process(COMMAND "${PROGRAM}" WORKING_DIRECTORY "${WORKDIR}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the program ended with status ${status}")
endif()
file(STRINGS "${WORKDIR}/VESK.DAT" lines)
list(LENGTH lines line_count)
list(SUBLIST lines 0 8 shown)
string(JOIN "\n" shown ${shown})
message("${WORKDIR}/VESK.DAT: ${line_count} lines; the first four records:\n${shown}")
