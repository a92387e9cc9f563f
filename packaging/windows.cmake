# The Windows package of Eemint and Duoterm: one zip that a user unpacks and starts, laid out
# as Qt's deployment tool lays out a program folder:
#   eemint.exe, duoterm.exe       the programs
#   mvusb.dll, mvbench.exe        the simulated bench's driver library and its tool (Eemint
#                                 loads the driver DLL from its own folder first)
#   Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll
#   platforms/qwindows.dll        the platform plugin
#   styles/qwindowsvistastyle.dll the native style
#   libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll
#                                 the MinGW runtime Qt's DLLs are linked against
#   duoterm.ini                   the sample preset file (Duoterm reads it from its working
#                                 folder, the shortcut's "Start in" folder)
#   README.txt                    how to start and where each program keeps its files
# Built by scripts/package into build/package/windows.
set(SERIALTOOLS_RELEASE_DATE 2026-12-10)

install(TARGETS eemint duoterm RUNTIME DESTINATION . COMPONENT programs)
if(TARGET mvbench)
  install(TARGETS mvusb RUNTIME DESTINATION . LIBRARY DESTINATION . COMPONENT programs)
  install(TARGETS mvbench RUNTIME DESTINATION . COMPONENT programs)
endif()

foreach(module Core Gui Widgets)
  install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION . COMPONENT programs)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms COMPONENT programs)
if(TARGET Qt6::QWindowsVistaStylePlugin)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles COMPONENT programs)
endif()

foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "The MinGW runtime library ${dll} was not found")
  endif()
  get_filename_component(dll_path "${dll_path}" REALPATH)
  install(FILES ${dll_path} DESTINATION . COMPONENT programs)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/terminal/window/duoterm.ini.example DESTINATION . RENAME duoterm.ini
        COMPONENT programs)
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION . COMPONENT programs)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME SerialTools)
set(CPACK_PACKAGE_VENDOR "Serial tools developers")
set(CPACK_PACKAGE_FILE_NAME SerialTools-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
