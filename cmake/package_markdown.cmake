# Copies the Markdown file INPUT to OUTPUT for a package whose layout is not
# the source tree's: a relative link to a file the package holds points to
# its place there, and one to a file it does not hold becomes plain text.
# PLACES lists the files the package holds, each as SOURCE=PLACE (paths from
# the top of the source tree and of the package), separated by commas.
# Called by the build with -DINPUT=, -DOUTPUT= and -DPLACES=.
string(REPLACE "," ";" places "${PLACES}")
file(READ ${INPUT} text)
string(REGEX MATCHALL "\\[[^]\n]*\\]\\([^)\n]*\\)" links "${text}")
list(REMOVE_DUPLICATES links)
foreach(link IN LISTS links)
  string(REGEX MATCH "^\\[([^]\n]*)\\]\\(([^)#\n]*)(#[^)\n]*)?\\)$" link "${link}")
  set(label "${CMAKE_MATCH_1}")
  set(target "${CMAKE_MATCH_2}")
  set(fragment "${CMAKE_MATCH_3}")
  # Links within the page and to the web stay as they are.
  if(target STREQUAL "" OR target MATCHES "^[a-z]+:")
    continue()
  endif()
  set(replacement "${label}")
  foreach(place IN LISTS places)
    string(FIND "${place}" "=" split)
    string(SUBSTRING "${place}" 0 ${split} source)
    math(EXPR split "${split} + 1")
    string(SUBSTRING "${place}" ${split} -1 destination)
    if(source STREQUAL target)
      set(replacement "[${label}](${destination}${fragment})")
    endif()
  endforeach()
  string(REPLACE "${link}" "${replacement}" text "${text}")
endforeach()
file(WRITE ${OUTPUT} "${text}")
