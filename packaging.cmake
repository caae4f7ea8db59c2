# What `cmake --install` puts under the prefix, and the package CPack makes of
# it: the program, its plotting tool, its manual page, the README with its page
# on the deliberate differences, and the example; a Debian package, or for
# Windows a ZIP file laid out for Windows users (see below). Tests, benchmarks
# and fuzz targets have no install rules.
include(GNUInstallDirs)

if(WIN32)
  # The ZIP file: the program with the example's DATOS.DAT beside it, ready to
  # double-click; a README.txt for Windows users and the manual page as text,
  # both plain ASCII with CR LF; the README and its page on the differences as
  # they are, with their links leading to the files' places in the ZIP file;
  # the plotting tool; the example's table as this program writes it (kept in
  # the sources, since a cross build cannot run the program; the ZIP file's
  # test checks it against the program) and its picture.
  set(zip_text ${CMAKE_BINARY_DIR}/zip-text)
  # The files taken from the sources as they are: SOURCE=PLACE in the ZIP file.
  set(zip_files
      examples/DATOS.DAT=DATOS.DAT
      tools/plot_ephemeris.py=ephemeris-plot.py
      doc/differences.md=doc/differences.md
      examples/windows/VESK.DAT=examples/VESK.DAT
      examples/mars_2026.png=examples/mars_2026.png)
  string(JOIN "," places ${zip_files})
  add_custom_command(OUTPUT ${zip_text}/ephemeris.txt
    COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_SOURCE_DIR}/doc/ephemeris.1
            -DOUTPUT=${zip_text}/ephemeris.txt -P ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    DEPENDS doc/ephemeris.1 cmake/windows_text.cmake)
  add_custom_command(OUTPUT ${zip_text}/README.txt
    COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/doc/README-windows.txt
            -DOUTPUT=${zip_text}/README.txt -P ${PROJECT_SOURCE_DIR}/cmake/windows_text.cmake
    DEPENDS doc/README-windows.txt cmake/windows_text.cmake)
  add_custom_command(OUTPUT ${zip_text}/README.md
    COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/README.md
            -DOUTPUT=${zip_text}/README.md "-DPLACES=${places}"
            -P ${PROJECT_SOURCE_DIR}/cmake/package_markdown.cmake
    DEPENDS README.md cmake/package_markdown.cmake)
  add_custom_target(zip_text ALL
    DEPENDS ${zip_text}/ephemeris.txt ${zip_text}/README.txt ${zip_text}/README.md)

  install(TARGETS ephemeris RUNTIME DESTINATION .)
  install(FILES ${zip_text}/README.txt ${zip_text}/README.md ${zip_text}/ephemeris.txt
          DESTINATION .)
  foreach(file IN LISTS zip_files)
    string(REGEX MATCH "^(.*)=(.*/)?([^/]*)$" file "${file}")
    set(source ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_3})
    set(directory "./${CMAKE_MATCH_2}")
    install(FILES ${source} DESTINATION ${directory} RENAME ${name})
  endforeach()
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
