# Runs the layer include check over a small tree: two layers, "low" and
# "high" above it, the digest over "low", the package's four over both
# linked as the build links them (backup beside package, install over both,
# builder over install), and the fixtures beside them over "low". The clean
# tree passes, and each bad include added to it alone fails naming its file,
# line and include.
# cmake -DVH_SOURCE_DIR=<source root> -DWORK=<scratch folder> -P
cmake_minimum_required(VERSION 3.18)
include(${VH_SOURCE_DIR}/cmake/layer_includes.cmake)
set(table "low=low" "high=high,low" "digest=digest,low" "package=package,digest,low" "backup=backup,digest,low"
  "install=install,package,backup,digest,low" "builder=builder,install,package,backup,digest,low"
  "fixtures=fixtures,low")

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
file(WRITE ${WORK}/digest/digest.h "#pragma once\n#include \"low/low.h\"\n")
file(WRITE ${WORK}/package/package.h "#pragma once\n#include \"digest/digest.h\"\n")
file(WRITE ${WORK}/backup/backup.h "#pragma once\n#include \"digest/digest.h\"\n")
file(WRITE ${WORK}/fixtures/fixtures.h "#pragma once\n#include \"low/low.h\"\n")
file(WRITE ${WORK}/install/install.h "#pragma once\n#include \"backup/backup.h\"\n#include \"package/package.h\"\n")
file(WRITE ${WORK}/builder/builder.h "#pragma once\n#include \"install/install.h\"\n#include \"package/package.h\"\n")
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

# A climb into each of the package's four layers and the digest below them:
# from a layer below it, or from one beside it that it does not link. The
# fixtures and the program's own writers never meet: the tests compare the
# one with the other.
foreach(case IN ITEMS "low/bad.h>package/package.h" "package/bad.cpp>backup/backup.h"
                      "backup/bad.h>install/install.h" "install/bad.cpp>builder/builder.h"
                      "low/bad.cpp>digest/digest.h" "fixtures/bad.h>package/package.h"
                      "builder/bad.cpp>fixtures/fixtures.h")
  string(REPLACE ">" ";" case "${case}")
  list(GET case 0 file)
  list(GET case 1 include)
  file(WRITE ${WORK}/${file} "#pragma once\n#include \"${include}\"\n")
  string(REPLACE "." "\\." pattern "${file}:2: #include \"${include}\"")
  run_check(YES "${pattern}")
  file(REMOVE ${WORK}/${file})
endforeach()
