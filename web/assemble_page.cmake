# Writes the page, OUTPUT, from SOURCE_DIR's page.html with its style and
# scripts, the module MODULE and the example element file EXAMPLE inlined.
# Fails if an inlined text would end its element early.

function(read_inlined variable path closing_tag)
  file(READ ${path} text)
  string(TOLOWER "${text}" lower)
  string(FIND "${lower}" "</${closing_tag}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${path} holds \"</${closing_tag}\", which would end its element early")
  endif()
  set(${variable} "${text}" PARENT_SCOPE)
endfunction()

read_inlined(EPHEMERIS_STYLE ${SOURCE_DIR}/page.css style)
read_inlined(EPHEMERIS_MODULE ${MODULE} script)
read_inlined(EPHEMERIS_RUNNER ${SOURCE_DIR}/runner.js script)
read_inlined(EPHEMERIS_PAGE_SCRIPT ${SOURCE_DIR}/page.js script)

# The example as the text area's contents.
file(READ ${EXAMPLE} EPHEMERIS_EXAMPLE)
string(REPLACE "&" "&amp;" EPHEMERIS_EXAMPLE "${EPHEMERIS_EXAMPLE}")
string(REPLACE "<" "&lt;" EPHEMERIS_EXAMPLE "${EPHEMERIS_EXAMPLE}")
string(REPLACE ">" "&gt;" EPHEMERIS_EXAMPLE "${EPHEMERIS_EXAMPLE}")
set(EPHEMERIS_VERSION ${VERSION})

configure_file(${SOURCE_DIR}/page.html ${OUTPUT} @ONLY)
