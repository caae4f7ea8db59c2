# What `cmake --install` puts under the prefix, and the package CPack makes of
# it: the program, its plotting tool, its manual page, the README with its page
# on the deliberate differences, and the example; a Debian package, or for
# Windows a ZIP file with everything side by side and the manual page as text
# (no plotting tool there). Tests, benchmarks and fuzz targets have no install
# rules.
include(GNUInstallDirs)

if(WIN32)
  set(manual_text ${CMAKE_BINARY_DIR}/ephemeris.txt)
  add_custom_command(OUTPUT ${manual_text}
    COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_SOURCE_DIR}/doc/ephemeris.1 -DOUTPUT=${manual_text}
            -P ${PROJECT_SOURCE_DIR}/cmake/render_manual_page.cmake
    DEPENDS doc/ephemeris.1 cmake/render_manual_page.cmake)
  add_custom_target(manual_text ALL DEPENDS ${manual_text})
  install(TARGETS ephemeris RUNTIME DESTINATION .)
  install(FILES README.md examples/DATOS.DAT ${manual_text} DESTINATION .)
  # Where the README's link finds it.
  install(FILES doc/differences.md DESTINATION doc)
else()
  # The manual pages and the changelog gzipped, as Debian's policy wants them,
  # without a name or time in the header (gzip -n), so that the same sources
  # give the same bytes. Made when CMake configures, so that installing needs
  # nothing built but the program; a changed source configures again.
  find_program(GZIP gzip REQUIRED)
  set(compressed_dir ${CMAKE_BINARY_DIR}/compressed)
  file(MAKE_DIRECTORY ${compressed_dir})
  foreach(source doc/ephemeris.1 doc/ephemeris-plot.1 doc/changelog)
    get_filename_component(name ${source} NAME)
    execute_process(COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/${source}
                    OUTPUT_FILE ${compressed_dir}/${name}.gz RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip could not compress ${source}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  endforeach()
  install(TARGETS ephemeris RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS tools/plot_ephemeris.py DESTINATION ${CMAKE_INSTALL_BINDIR}
          RENAME ephemeris-plot)
  install(FILES ${compressed_dir}/ephemeris.1.gz ${compressed_dir}/ephemeris-plot.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${compressed_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Where the README's link finds it.
  install(FILES doc/differences.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
  install(FILES examples/DATOS.DAT examples/mars_2026.png
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

set(CPACK_PACKAGE_NAME ephemeris)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Ephemeris developers <ephemeris@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "day-by-day ephemeris of one solar-system body seen from another")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ephemeris reads the Keplerian elements of a target and an observer, a start
date and a day count from DATOS.DAT and writes VESK.DAT: for every day the
target's right ascension and declination, its distances from the Sun and from
the observer, the elongation, the phase angle and the illuminated fraction of
its disc. Both bodies move on fixed ellipses about the Sun. The file formats
and error reports are those of an older program, kept byte for byte.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ephemeris-plot needs Python 3 with numpy and matplotlib; the program does
# not. The interpreter the script names is a dependency, as Debian's policy
# wants for a script in /usr/bin; the libraries, which weigh far more, are a
# recommendation. The program's libraries are added to the dependencies.
set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3-matplotlib)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The package goes into the build tree, wherever cpack is started from.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
if(WIN32)
  # ephemeris-<version>-win64.zip
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
