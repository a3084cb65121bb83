# cmake -P cmake/cross-presets.cmake prints each cross preset that
# CMakePresets.json names, with its GNU triple, a pair a line: the Debian
# architectures besides this machine's. It reads the file as JSON (CMake
# 3.19 or later), whatever its layout, and fails if it finds none.
cmake_minimum_required(VERSION 3.19)
file(READ ${CMAKE_CURRENT_LIST_DIR}/../CMakePresets.json json)
string(JSON count LENGTH "${json}" configurePresets)
set(pairs "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON preset GET "${json}" configurePresets ${i})
  string(JSON inherits ERROR_VARIABLE none GET "${preset}" inherits)
  string(JSON triple ERROR_VARIABLE none GET "${preset}" cacheVariables CROSS_TRIPLE)
  if(inherits STREQUAL "cross" AND triple)
    string(JSON name GET "${preset}" name)
    string(APPEND pairs "${name} ${triple}\n")
  endif()
endforeach()
if(NOT pairs)
  message(FATAL_ERROR "CMakePresets.json names no cross preset")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E echo_append "${pairs}")
