# Installs the build in BUILD into PREFIX and checks what lands there: exactly
# the programs, the chart module, the desktop entry and the icon (no test,
# bench or example), a lumera-cli that finds its chart module for --plot, a
# desktop entry whose Exec names an installed program with options that
# program knows, and whose Icon names the installed icon. GUI is ON or OFF;
# LIBDIR is CMAKE_INSTALL_LIBDIR, EXAMPLES the sample data's folder.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(desktop share/applications/lumera.desktop)
set(expected bin/lumera-cli)
if(GUI)
  list(APPEND expected bin/lumera ${LIBDIR}/lumera/lumera-charts.so ${desktop}
    share/icons/hicolor/scalable/apps/lumera.svg)
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed [${installed}], expected [${expected}]")
endif()

# The installed lumera-cli opens the installed chart module: it looks for it
# relative to its own folder, never in the build tree.
set(plots "${PREFIX}/plots")
file(MAKE_DIRECTORY "${plots}")
execute_process(COMMAND "${PREFIX}/bin/lumera-cli" compare --plot "${plots}" "${EXAMPLES}/r0-18C.txt"
  "${EXAMPLES}/r0-24C.txt" RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
file(GLOB drawn RELATIVE "${plots}" "${plots}/*")
file(REMOVE_RECURSE "${plots}")
if(GUI AND NOT (status EQUAL 0 AND drawn STREQUAL "pair-1-2.csv;pair-1-2.png;pair-1-2.svg"))
  message(FATAL_ERROR "the installed lumera-cli --plot: exit ${status}, wrote [${drawn}]: ${err}")
endif()
if(NOT GUI)
  if(NOT (status EQUAL 1 AND err MATCHES "has no chart module" AND drawn STREQUAL ""))
    message(FATAL_ERROR "lumera-cli --plot without the window: exit ${status}, wrote [${drawn}]: ${err}")
  endif()
  return()
endif()

# The keys a menu needs, one each, in the [Desktop Entry] group. A list
# value's ";" would split CMake's list of lines: it is read as ",".
file(READ "${PREFIX}/${desktop}" text)
string(REPLACE ";" "," text "${text}")
string(REPLACE "\n" ";" lines "${text}")
list(GET lines 0 group)
if(NOT group STREQUAL "[Desktop Entry]")
  message(FATAL_ERROR "${desktop} does not start with [Desktop Entry]")
endif()
foreach(key Type Name Exec Icon Categories)
  set(found ${lines})
  list(FILTER found INCLUDE REGEX "^${key}=.")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${desktop}: ${count} lines with a value for ${key}, expected 1")
  endif()
  string(REGEX REPLACE "^${key}=" "" ${key} "${found}")
endforeach()
if(NOT Type STREQUAL "Application")
  message(FATAL_ERROR "${desktop}: Type=${Type}")
endif()

# Exec: an installed program, with options it accepts (its --help lists them).
separate_arguments(exec UNIX_COMMAND "${Exec}")
list(POP_FRONT exec program)
if(NOT EXISTS "${PREFIX}/bin/${program}")
  message(FATAL_ERROR "${desktop}: Exec runs ${program}, which is not installed in bin/")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen "${PREFIX}/bin/${program}" --help
  OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${program} --help failed: ${status}")
endif()
foreach(option IN LISTS exec)
  string(FIND "${help}" " ${option} " at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${desktop}: Exec passes ${option}, which ${program} --help does not list:\n${help}")
  endif()
endforeach()

if(NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/${Icon}.svg")
  message(FATAL_ERROR "${desktop}: Icon=${Icon}, but no ${Icon}.svg is installed")
endif()

find_program(validate desktop-file-validate)
if(validate)
  execute_process(COMMAND "${validate}" "${PREFIX}/${desktop}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate rejects ${desktop}")
  endif()
else()
  message(STATUS "desktop-file-validate is not installed: the desktop entry's keys are checked, not its syntax")
endif()
message(STATUS "installed: ${installed}")
