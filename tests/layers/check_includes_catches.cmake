# The include check fails on a tree with wrong arrows and names each file
# and line (tests/layers/wrong), and on nothing else there.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${CMAKE_COMMAND}" -DSRC=${CMAKE_CURRENT_LIST_DIR}/wrong
  -P ${CMAKE_CURRENT_LIST_DIR}/check_includes.cmake
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(status EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with wrong includes:\n${out}")
endif()
set(expected
  "textio/a.h:2: textio includes shell/b.h of shell (textio may include nothing)"
  "shell/b.h:2: shell includes Qt, <QString> (only gui and the chart module do)"
  "app/c.cpp:2: app includes textio/a.h of textio (app may include cartesian, sorting, report, shell)"
  "cli/d.cpp:1: cli includes gui/chart_renderer.h of charts"
  "gui/chart_renderer.h:4: charts includes gui/view.h of gui"
  "gui/view.h:4: \"app/c.h\" is not a \"folder/file.h\" of src/"
  "report/e.cpp:1: \"e.h\" is not a \"folder/file.h\" of src/")
set(flat "${out}")
set(count 0)
foreach(line IN LISTS expected)
  string(FIND "${flat}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report \"${line}\":\n${out}")
  endif()
  math(EXPR count "${count} + 1")
endforeach()
# Allowed includes in the same tree stay unreported.
foreach(line "app/c.cpp:1:" "cli/d.cpp:2:" "gui/view.h:2:" "gui/view.h:5:" "gui/chart_renderer.h:2:"
             "gui/chart_renderer.h:5:")
  string(FIND "${flat}" "${line}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "the check reported an allowed include, ${line}:\n${out}")
  endif()
endforeach()
message(STATUS "the check names all ${count} wrong includes and no allowed one")
