# Installs the build BUILD_DIR into a scratch prefix and builds its Debian
# package there, and checks that both hold exactly the program, the plotting
# tool as ephemeris-plot, their gzipped manual pages, the README, the
# changelog and the example, that the package's control fields are filled in,
# that the manual pages read back as their sources, and that the installed
# ephemeris-plot runs where /usr/bin/python3 has matplotlib. Called by CTest
# with -DBUILD_DIR=... -DVERSION=... -DSOURCE_DIR=...
set(installed
    bin/ephemeris
    bin/ephemeris-plot
    share/doc/ephemeris/README.md
    share/doc/ephemeris/changelog.gz
    share/doc/ephemeris/doc/differences.md
    share/doc/ephemeris/examples/DATOS.DAT
    share/doc/ephemeris/examples/mars_2026.png
    share/man/man1/ephemeris.1.gz
    share/man/man1/ephemeris-plot.1.gz)

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
# Gzipped without a name or time in the header, and whole.
foreach(page ephemeris.1 ephemeris-plot.1)
  set(compressed ${scratch}/prefix/share/man/man1/${page}.gz)
  file(READ ${compressed} header LIMIT 8 HEX)
  if(NOT header STREQUAL "1f8b080000000000")
    message(FATAL_ERROR "${page}.gz has the gzip header ${header}, with a name or a time")
  endif()
  run(gzip -dc ${compressed})
  file(READ ${SOURCE_DIR}/doc/${page} source)
  if(NOT out STREQUAL source)
    message(FATAL_ERROR "${page}.gz does not hold doc/${page}")
  endif()
endforeach()
execute_process(COMMAND /usr/bin/python3 -c "import matplotlib" RESULT_VARIABLE no_matplotlib
                OUTPUT_QUIET ERROR_QUIET)
if(no_matplotlib EQUAL 0)
  run(${scratch}/prefix/bin/ephemeris-plot --help)
  if(NOT out MATCHES "^usage: ephemeris-plot ")
    message(FATAL_ERROR "the installed ephemeris-plot says:\n${out}")
  endif()
endif()

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

foreach(field Package Version Architecture Maintainer Depends Recommends Description)
  run(${DPKG_DEB} -f ${package} ${field})
  set(${field} "${out}")
endforeach()
if(NOT Maintainer STREQUAL "Ephemeris developers <ephemeris@example.org>\n"
   OR NOT Version STREQUAL "${VERSION}\n"
   OR NOT Depends MATCHES "libc6" OR NOT Depends MATCHES "libstdc\\+\\+6"
   OR NOT Depends MATCHES "(^|, )python3(,|\n)"
   OR NOT Recommends STREQUAL "python3-matplotlib\n"
   OR NOT Description MATCHES "^[^\n]+\n [^\n]+")
  message(FATAL_ERROR "unexpected control fields:\nVersion: ${Version}Maintainer: ${Maintainer}"
                      "Depends: ${Depends}Recommends: ${Recommends}Description: ${Description}")
endif()
message("${package} holds the expected files; Depends: ${Depends}")
file(REMOVE_RECURSE ${scratch})
