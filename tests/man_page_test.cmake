# Renders the manual page PAGE with groff's man macros and every warning
# enabled; fails on any output on standard error and checks that the page has
# its sections, SECTIONS (separated by commas) where given. Called by CTest
# with -DPAGE=... and optionally -DSECTIONS=...
find_program(GROFF groff)
if(NOT GROFF)
  message("SKIPPED: groff is not installed")
  return()
endif()
execute_process(COMMAND ${GROFF} -man -Tutf8 -ww ${PAGE}
                OUTPUT_VARIABLE page ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff ended with status ${status}:\n${warnings}")
endif()
# The plain text, without the bold and underline of the terminal's escapes or
# of overstriking (a character, a backspace, a character).
string(ASCII 27 escape)
string(ASCII 8 backspace)
string(REGEX REPLACE "${escape}\\[[0-9;]*m" "" plain "${page}")
string(REGEX REPLACE "[^\n]${backspace}" "" plain "${plain}")
if(DEFINED SECTIONS)
  string(REPLACE "," ";" SECTIONS "${SECTIONS}")
else()
  set(SECTIONS NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" DIAGNOSTICS EXAMPLES
               "DELIBERATE DIFFERENCES" "SEE ALSO")
endif()
foreach(section IN LISTS SECTIONS)
  if(NOT plain MATCHES "\n${section}\n")
    message(FATAL_ERROR "the manual page has no ${section} section")
  endif()
endforeach()
message("${PAGE} renders without warnings")
