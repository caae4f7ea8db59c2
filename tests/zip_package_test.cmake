# Makes the Windows ZIP package of the build BUILD_DIR in a scratch directory,
# unpacks it into an empty folder and checks what a Windows user finds there:
# exactly the files below; README.txt and the manual page as printable ASCII
# with CR LF line ends; every file README.txt names and every relative link
# of the Markdown files present at the path given; a program that imports only
# DLLs that every Windows has and that, run through EMULATOR (if any) in that
# folder on its DATOS.DAT, writes the package's example table byte for byte.
# Called by CTest with -DBUILD_DIR=, -DVERSION=, -DOBJDUMP= and -DEMULATOR=.
cmake_policy(VERSION 3.25)
set(name ephemeris-${VERSION}-win64)
set(expected ephemeris.exe DATOS.DAT README.txt README.md ephemeris.txt ephemeris-plot.py
             doc/differences.md examples/VESK.DAT examples/mars_2026.png)
# What a static mingw-w64 program may import: the kernel and the C run-time
# that comes with the system.
set(system_dlls KERNEL32.dll msvcrt.dll)
# The files README.txt names that the program and the plotting tool write.
set(written VESK.DAT VESK.png)

set(scratch ${BUILD_DIR}/zip-package-test)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})

include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

run(cpack --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP -B ${scratch})
set(zip ${scratch}/${name}.zip)
if(NOT EXISTS ${zip})
  file(GLOB made ${scratch}/*.zip)
  message(FATAL_ERROR "cpack made ${made}, not ${zip}")
endif()

file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${scratch}/unpacked)
set(top ${scratch}/unpacked/${name})
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${top} ${scratch}/unpacked/*)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${zip} holds\n  ${found}\ninstead of\n  ${expected}")
endif()

# Printable ASCII and CR LF pairs only, checked as hexadecimal: file(READ) as
# text would drop the CRs.
foreach(text README.txt ephemeris.txt)
  file(READ ${top}/${text} hex HEX)
  string(REGEX MATCH "^(0d0a|[2-6][0-9a-f]|7[0-9a-e])*" plain "${hex}")
  if(NOT plain STREQUAL hex)
    string(LENGTH "${plain}" at)
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR at "${at} / 2")
    message(FATAL_ERROR "${text}: byte ${at} is 0x${byte}, not printable ASCII or a CR LF")
  endif()
endforeach()
file(READ ${top}/ephemeris.txt manual HEX)
string(HEX "\r\nEXIT STATUS\r\n" section)
if(NOT manual MATCHES "${section}")
  message(FATAL_ERROR "the manual page's text has no EXIT STATUS section")
endif()

# Every file README.txt names, with a folder (examples\VESK.DAT) or without.
file(READ ${top}/README.txt readme)
string(REGEX MATCHALL "[A-Za-z0-9_\\-]+\\.(exe|DAT|txt|md|py|png)" named "${readme}")
list(REMOVE_DUPLICATES named)
foreach(file IN LISTS named)
  string(REPLACE "\\" "/" path "${file}")
  if(NOT EXISTS ${top}/${path} AND NOT path IN_LIST written)
    message(FATAL_ERROR "README.txt names ${file}, which the package does not hold")
  endif()
endforeach()
foreach(file ephemeris.exe DATOS.DAT README.md ephemeris.txt doc\\differences.md
             ephemeris-plot.py examples\\VESK.DAT examples\\mars_2026.png)
  if(NOT file IN_LIST named)
    message(FATAL_ERROR "README.txt does not name ${file}")
  endif()
endforeach()

# Every relative link of the Markdown files leads to a file of the package,
# and every link within a page to one of its headings.
foreach(page README.md doc/differences.md)
  file(READ ${top}/${page} text)
  get_filename_component(folder ${top}/${page} DIRECTORY)
  string(REGEX MATCHALL "\n#+ [^\n]*" headings "\n${text}")
  set(anchors)
  foreach(heading IN LISTS headings)
    string(REGEX REPLACE "^\n#+ " "" heading "${heading}")
    string(TOLOWER "${heading}" heading)
    string(REGEX REPLACE "[^a-z0-9 _-]" "" heading "${heading}")
    string(REPLACE " " "-" heading "${heading}")
    list(APPEND anchors "#${heading}")
  endforeach()
  # With their labels: a list splits only where its brackets balance.
  string(REGEX MATCHALL "\\[[^]\n]*\\]\\([^)\n]*\\)" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^.*\\]\\((.*)\\)$" "\\1" target "${link}")
    if(target MATCHES "^[a-z]+:")
      continue()
    elseif(target MATCHES "^#")
      if(NOT target IN_LIST anchors)
        message(FATAL_ERROR "${page} links to ${target}, none of its headings")
      endif()
    else()
      string(REGEX REPLACE "#.*" "" path "${target}")
      if(NOT EXISTS ${folder}/${path})
        message(FATAL_ERROR "${page} links to ${target}, which the package does not hold")
      endif()
    endif()
  endforeach()
endforeach()

run(${OBJDUMP} -p ${top}/ephemeris.exe)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${out}")
string(REPLACE "DLL Name: " "" imports "${imports}")
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "ephemeris.exe imports ${dll}, which Windows does not have")
  endif()
endforeach()

# The program as a user runs it: in the unpacked folder, on its DATOS.DAT
# (with nothing to read on its standard input).
file(WRITE ${scratch}/empty "")
execute_process(COMMAND ${EMULATOR} ${top}/ephemeris.exe WORKING_DIRECTORY ${top}
                INPUT_FILE ${scratch}/empty RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT err STREQUAL "")
  message(FATAL_ERROR "ephemeris.exe in the unpacked folder ended with ${status}:\n${err}")
endif()
file(SHA256 ${top}/VESK.DAT written_hash)
file(SHA256 ${top}/examples/VESK.DAT packaged_hash)
if(NOT written_hash STREQUAL packaged_hash)
  message(FATAL_ERROR "ephemeris.exe writes another table than the package's examples\\VESK.DAT")
endif()
message("${zip} holds the expected files, and its program writes its example table;"
        " ephemeris.exe imports ${imports}")
file(REMOVE_RECURSE ${scratch})
