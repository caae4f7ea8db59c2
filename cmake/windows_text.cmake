# Writes plain text for Windows users to OUTPUT: the text file INPUT, or the
# manual page PAGE rendered as text, with CR LF line ends and nothing but
# printable ASCII, which every console and editor shows as it is. Any other
# byte, and any warning of groff's, fails the build. Called by the build with
# -DOUTPUT= and -DINPUT= or -DPAGE=.
if(DEFINED PAGE)
  find_program(GROFF groff REQUIRED)
  # The page's symbols that ASCII lacks, spelt out.
  set(fallbacks ${OUTPUT}.tmac)
  file(WRITE ${fallbacks} ".fchar \\[*w] omega\n.fchar \\[*W] Omega\n.fchar \\[de] deg\n")
  # ASCII output, with a hyphen for every dash; no word divided at a line end
  # (-rHY=0); no overstriking for bold or underline (-P-cbou).
  execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou -rHY=0 -ww ${fallbacks} ${PAGE}
                  OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff ended with status ${status}:\n${warnings}")
  endif()
  set(INPUT ${PAGE})
else()
  file(READ ${INPUT} text)
endif()
string(REGEX MATCH "[^\n -~]" other "${text}")
if(NOT other STREQUAL "")
  string(FIND "${text}" "${other}" at)
  message(FATAL_ERROR "${INPUT}: a byte that is not printable ASCII at character ${at} of the text")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
