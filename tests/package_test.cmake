# Installs the build BUILD_DIR into a scratch prefix and builds its Debian
# package there, and checks that both hold exactly the program, its manual
# page, the README and the example, and that the package's control fields are
# filled in. Called by CTest with -DBUILD_DIR=... -DVERSION=...
set(installed
    bin/ephemeris
    share/doc/ephemeris/README.md
    share/doc/ephemeris/examples/DATOS.DAT
    share/doc/ephemeris/examples/mars_2026.png
    share/man/man1/ephemeris.1)

set(scratch ${BUILD_DIR}/package-test)
file(REMOVE_RECURSE ${scratch})

include(${CMAKE_CURRENT_LIST_DIR}/run_command.cmake)

# Fails unless the list named by `found_var` equals the list named by
# `expected_var`, both sorted.
function(expect_same_files what found_var expected_var)
  set(found ${${found_var}})
  set(expected ${${expected_var}})
  list(SORT found)
  list(SORT expected)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "${what} holds\n  ${found}\ninstead of\n  ${expected}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${scratch}/prefix)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${scratch}/prefix ${scratch}/prefix/*)
expect_same_files("the install tree" found installed)

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(NOT DPKG_DEB OR NOT DPKG_SHLIBDEPS)
  message("SKIPPED: the Debian package needs dpkg-deb and dpkg-shlibdeps")
  return()
endif()
run(dpkg --print-architecture)
string(STRIP "${out}" architecture)
set(package ${scratch}/ephemeris_${VERSION}_${architecture}.deb)
run(cpack --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${scratch})
if(NOT EXISTS ${package})
  file(GLOB made ${scratch}/*.deb)
  message(FATAL_ERROR "cpack made ${made}, not ${package}")
endif()

run(${DPKG_DEB} -c ${package})
string(REGEX MATCHALL "\n-[^\n]*" listing "\n${out}")
set(packaged)
foreach(line IN LISTS listing)
  string(REGEX REPLACE ".* \\./usr/" "" path "${line}")
  list(APPEND packaged ${path})
endforeach()
expect_same_files("the package" packaged installed)

foreach(field Package Version Architecture Maintainer Depends Description)
  run(${DPKG_DEB} -f ${package} ${field})
  set(${field} "${out}")
endforeach()
if(NOT Maintainer STREQUAL "Ephemeris developers <ephemeris@example.org>\n"
   OR NOT Version STREQUAL "${VERSION}\n"
   OR NOT Depends MATCHES "libc6" OR NOT Depends MATCHES "libstdc\\+\\+6"
   OR NOT Description MATCHES "^[^\n]+\n [^\n]+")
  message(FATAL_ERROR "unexpected control fields:\nVersion: ${Version}Maintainer: ${Maintainer}"
                      "Depends: ${Depends}Description: ${Description}")
endif()
message("${package} holds the expected files; Depends: ${Depends}")
file(REMOVE_RECURSE ${scratch})
