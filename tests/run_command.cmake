# run(COMMAND...): runs the command and sets `out` to its standard output in
# the caller's scope; a failed command ends the script with its output.
function(run)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} ended with ${status}:\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()
