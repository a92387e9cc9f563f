# Install rules of Eemint and Duoterm and their Debian packages (CPack). The targets are
# referred to by name, so the folders that define them carry no install rules.
#
# One install component, and one Debian package, per program:
#   eemint   the program, and with the simulated bench the bench tool mvbench and the bench's
#            driver library (in a private library folder);
#   duoterm  the program and the launcher its menu entry starts.
# On Linux each also gets its menu entry, icon, AppStream metadata, manual pages, Debian
# changelog and copyright file.
include(GNUInstallDirs)

# The date of PROJECT_VERSION, for the AppStream release and the Debian changelog.
set(SERIALTOOLS_RELEASE_DATE 2026-12-10)
set(SERIALTOOLS_MAINTAINER "Serial tools developers <dev@serialtools.invalid>")

set(packaging_src ${CMAKE_CURRENT_LIST_DIR})
set(packaging_bin ${CMAKE_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS eemint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT eemint)
install(TARGETS duoterm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT duoterm)

# The bench's driver library is a private library of Eemint: it lives in a folder of its own
# (where no other program looks, so a site's own driver library elsewhere on the library path
# is never shadowed by it), and Eemint finds it through its RUNPATH, relative to the program.
if(TARGET mvbench)
  set(eemint_private_libdir ${CMAKE_INSTALL_LIBDIR}/eemint)
  file(RELATIVE_PATH bin_to_private ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/eemint)
  set_target_properties(eemint PROPERTIES INSTALL_RPATH "\$ORIGIN/${bin_to_private}")
  install(TARGETS mvusb LIBRARY DESTINATION ${eemint_private_libdir} COMPONENT eemint
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(TARGETS mvbench RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT eemint)
endif()

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

# --- Desktop integration

# A menu start's working folder is the home folder; the launcher runs Duoterm in its own data
# folder instead, where it keeps save.ini and looks for duoterm.ini.
set(DUOTERM_LAUNCHER ${CMAKE_INSTALL_FULL_LIBEXECDIR}/duoterm/duoterm-launcher)
set(DUOTERM_PRESETS_EXAMPLE ${CMAKE_INSTALL_FULL_DATADIR}/doc/duoterm/examples/duoterm.ini)
configure_file(${packaging_src}/duoterm/duoterm-launcher.in ${packaging_bin}/duoterm/duoterm-launcher @ONLY)
configure_file(${packaging_src}/duoterm/duoterm.desktop.in ${packaging_bin}/duoterm/duoterm.desktop @ONLY)
install(PROGRAMS ${packaging_bin}/duoterm/duoterm-launcher
        DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/duoterm COMPONENT duoterm)
# A sample preset file; the launcher puts a copy in the data folder when there is none yet.
install(FILES ${PROJECT_SOURCE_DIR}/terminal/window/duoterm.ini.example
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/duoterm/examples RENAME duoterm.ini COMPONENT duoterm)

set(eemint_desktop ${packaging_src}/eemint/eemint.desktop)
set(duoterm_desktop ${packaging_bin}/duoterm/duoterm.desktop)
foreach(program eemint duoterm)
  install(FILES ${${program}_desktop} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT ${program})
  install(FILES ${packaging_src}/${program}/${program}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT ${program})
  configure_file(${packaging_src}/${program}/invalid.serialtools.${program}.metainfo.xml
                 ${packaging_bin}/${program}/invalid.serialtools.${program}.metainfo.xml @ONLY)
  install(FILES ${packaging_bin}/${program}/invalid.serialtools.${program}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT ${program})
endforeach()

# --- Manual pages, changelogs and copyright (compressed as Debian wants them: gzip -9n)

execute_process(COMMAND date -u -R -d "${SERIALTOOLS_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE SERIALTOOLS_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(packaging_gzipped)
# gzip_into(SOURCE NAME): SOURCE compressed into packaging/NAME.gz of the build folder.
function(gzip_into source name)
  set(copy ${packaging_bin}/gz/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_bin}/gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${source} VERBATIM)
  set(packaging_gzipped ${packaging_gzipped} ${copy}.gz PARENT_SCOPE)
endfunction()

set(eemint_manpages eemint.1)
if(TARGET mvbench)
  list(APPEND eemint_manpages mvbench.1)
endif()
set(duoterm_manpages duoterm.1)
foreach(program eemint duoterm)
  foreach(page IN LISTS ${program}_manpages)
    gzip_into(${packaging_src}/${program}/${page} ${page})
    install(FILES ${packaging_bin}/gz/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${program})
  endforeach()
  set(PACKAGE ${program})
  configure_file(${packaging_src}/changelog.in ${packaging_bin}/${program}/changelog @ONLY)
  gzip_into(${packaging_bin}/${program}/changelog ${program}-changelog)
  install(FILES ${packaging_bin}/gz/${program}-changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${program}
          RENAME changelog.gz COMPONENT ${program})
  install(FILES ${packaging_src}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${program} COMPONENT ${program})
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${packaging_gzipped})

# --- Debian packages: cpack in the build folder (scripts/package) makes one per component.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME serialtools)
set(CPACK_PACKAGE_VENDOR "Serial tools developers")
set(CPACK_PACKAGE_CONTACT "${SERIALTOOLS_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL eemint duoterm)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_EEMINT_PACKAGE_NAME eemint)
set(CPACK_DEBIAN_EEMINT_PACKAGE_SECTION electronics)
# Qt finds its windowing-system plugins at run time; the binaries do not name them.
set(CPACK_DEBIAN_EEMINT_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_COMPONENT_EEMINT_DESCRIPTION
"serializer and tester for USB-to-serial converter EEPROMs
Eemint writes a product identity (vendor and product ID, manufacturer,
description, chip, power and plug-and-play options) with a fresh serial
number into the 128-byte configuration EEPROM of USB-to-serial converters,
one at a time, several in turn, or each one as it is plugged in. It also
dumps and erases the EEPROM, writes the image to a file, keeps product
identities as named configurations, and tests a converter's modem lines
and data path on a loopback rig or against a modem.")
if(TARGET mvbench)
  string(APPEND CPACK_COMPONENT_EEMINT_DESCRIPTION "
This build drives the simulated converter bench instead of the converter
maker's driver library; the mvbench tool shows and changes the bench.")
endif()

set(CPACK_DEBIAN_DUOTERM_PACKAGE_NAME duoterm)
set(CPACK_DEBIAN_DUOTERM_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_DUOTERM_PACKAGE_DEPENDS qt6-qpa-plugins)
# The window is laid out for Tahoma, which Wine's fonts bring.
set(CPACK_DEBIAN_DUOTERM_PACKAGE_RECOMMENDS fonts-wine)
set(CPACK_COMPONENT_DUOTERM_DESCRIPTION
"two-port serial terminal with a Russian user interface
Duoterm opens two serial ports side by side, sends on either of them bytes
written as hexadecimal requests (with an optional checksum byte and timed
pauses) or as plain text, and shows what each port receives in hexadecimal
and as characters. It shows the modem status lines, drives DTR and RTS,
repeats a message whenever the transmitter runs empty, loads message lists
from a preset file, and runs an automatic exchange between the two ports
that logs every mismatch.")

include(CPack)
