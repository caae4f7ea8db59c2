# Renders the manual page PAGE to plain UTF-8 text with CR LF line ends in
# OUTPUT, for a Windows user, who has no man. Called by the build with -DPAGE=
# and -DOUTPUT=.
find_program(GROFF groff REQUIRED)
execute_process(COMMAND ${GROFF} -man -Tutf8 -P-cbou ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff ended with status ${status}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
