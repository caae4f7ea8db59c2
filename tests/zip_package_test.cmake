# Makes the Windows ZIP package of the build BUILD_DIR in a scratch directory
# and checks that it holds exactly the program, the README, the example and
# the manual page as text, and that the program imports only DLLs that every
# Windows has. Called by CTest with -DBUILD_DIR=, -DVERSION= and -DOBJDUMP=.
cmake_policy(VERSION 3.25)
set(name ephemeris-${VERSION}-win64)
set(expected ${name}/ephemeris.exe ${name}/README.md ${name}/DATOS.DAT ${name}/ephemeris.txt)
# What a static mingw-w64 program may import: the kernel and the C run-time
# that comes with the system.
set(system_dlls KERNEL32.dll msvcrt.dll)

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
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${scratch}/unpacked ${scratch}/unpacked/*)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "${zip} holds\n  ${found}\ninstead of\n  ${expected}")
endif()

# As hexadecimal: file(READ) as text would drop the CRs.
file(READ ${scratch}/unpacked/${name}/ephemeris.txt manual HEX)
string(HEX "\r\nEXIT STATUS\r\n" section)
if(NOT manual MATCHES "${section}")
  message(FATAL_ERROR "the manual page's text has no EXIT STATUS section with CR LF line ends")
endif()

run(${OBJDUMP} -p ${scratch}/unpacked/${name}/ephemeris.exe)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${out}")
string(REPLACE "DLL Name: " "" imports "${imports}")
foreach(dll IN LISTS imports)
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "ephemeris.exe imports ${dll}, which Windows does not have")
  endif()
endforeach()
message("${zip} holds the expected files; ephemeris.exe imports ${imports}")
file(REMOVE_RECURSE ${scratch})
