# Checks the bench's driver DLL against the names of its .def file: the DLL's export table
# holds exactly those names, undecorated, and the import library defines for each the import
# symbol (__imp_NAME, what a client declaring the function dllimport calls through) and the
# thunk (NAME, what any other client calls).
# Run as: cmake -DOBJDUMP=... -DNM=... -DDLL=... -DIMPLIB=... -DDEF=... -P check_exports.cmake
file(STRINGS "${DEF}" def_lines)
set(wanted "")
foreach(line IN LISTS def_lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_@]*)[ \t]*$")
    list(APPEND wanted "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT wanted)

execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" table "${dump}")
# One name a line once the "[  n]" columns are gone (brackets would upset CMake's lists).
string(REGEX REPLACE "[ \t]*\\[[ 0-9]+\\][ \t]+" "" names "${CMAKE_MATCH_1}")
string(REGEX MATCHALL "[^\n]+" exported "${names}")
list(SORT exported)
if(NOT exported STREQUAL wanted)
  message(FATAL_ERROR "the DLL exports\n  ${exported}\nbut the driver interface is\n  ${wanted}")
endif()

execute_process(COMMAND "${NM}" "${IMPLIB}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${IMPLIB}")
endif()
foreach(name IN LISTS wanted)
  foreach(symbol "__imp_${name}" "${name}")
    if(NOT symbols MATCHES "[ \t][IT][ \t]+${symbol}\n")
      message(FATAL_ERROR "the import library ${IMPLIB} has no ${symbol}")
    endif()
  endforeach()
endforeach()
list(LENGTH wanted count)
message(STATUS "${count} exports, undecorated, in the DLL and its import library")
