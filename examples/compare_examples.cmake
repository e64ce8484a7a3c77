# Regenerates the sample files into OUTPUT and compares each, byte for byte,
# with the committed one in EXPECTED. Also fails on a file that only one side has.
# PATTERN: the files compared (default *.txt).
if(NOT PATTERN)
  set(PATTERN "*.txt")
endif()
file(REMOVE_RECURSE "${OUTPUT}")
execute_process(COMMAND "${GENERATOR}" "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()

file(GLOB written RELATIVE "${OUTPUT}" "${OUTPUT}/${PATTERN}")
file(GLOB committed RELATIVE "${EXPECTED}" "${EXPECTED}/${PATTERN}")
list(REMOVE_ITEM committed CMakeLists.txt)
list(SORT written)
list(SORT committed)
if(NOT written STREQUAL committed)
  message(FATAL_ERROR "generated files [${written}] differ from committed files [${committed}]")
endif()
if(NOT written)
  message(FATAL_ERROR "make_examples wrote no files")
endif()

foreach(name IN LISTS written)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT}/${name}" "${EXPECTED}/${name}"
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name}: the committed file differs from the generator's output")
  endif()
endforeach()
message(STATUS "${written}: identical")
