# Runs the layer include check over a small tree of two layers, "low" and
# "high" above it: the clean tree passes, and each bad include added to it
# alone fails naming its file, line and include.
# cmake -DVH_SOURCE_DIR=<source root> -DWORK=<scratch folder> -P
cmake_minimum_required(VERSION 3.18)
include(${VH_SOURCE_DIR}/cmake/layer_includes.cmake)
set(table "low=low" "high=high,low")

include(${VH_SOURCE_DIR}/tests/cmake/expect_check.cmake)
function(run_check expect_failure expected)
  expect_check("the layer include check" ${expect_failure} "${expected}"
    COMMAND ${CMAKE_COMMAND} -DVH_INCLUDE_ROOT=${WORK} "-DVH_INCLUDE_TABLE=${table}"
            -P ${VH_SOURCE_DIR}/cmake/layer_includes.cmake)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/low/low.h "#pragma once\n#include <vector>\n#include \"low/other.h\"\n#include \"plain.h\"\n")
file(WRITE ${WORK}/low/other.h "#pragma once\nint a[2]; // ;\\\n")
file(WRITE ${WORK}/high/high.cpp "#include \"high/high.h\"\n#include \"low/low.h\"\n")
file(MAKE_DIRECTORY ${WORK}/outside)
run_check(NO "")

foreach(case IN ITEMS "high/high.h" "../high/high.h" "outside/thing.h")
  # Line 4, behind brackets, semicolons and a continued line, which must not
  # shift the count.
  file(WRITE ${WORK}/low/bad.h "int b[1]; int c;\n#define X 1 \\\n  + 2\n#include \"${case}\"\n")
  string(REPLACE "." "\\." pattern "low/bad.h:4: #include \"${case}\"")
  run_check(YES "${pattern}")
  file(REMOVE ${WORK}/low/bad.h)
endforeach()
