# The Windows import check over two small programs of its own: one that
# imports only the system's DLLs passes, one tied to zlib's DLL is refused
# with that DLL's name.
# cmake -DVH_SOURCE_DIR=<source root> -DWORK=<scratch folder> -DCC=<MinGW gcc> -DOBJDUMP=<MinGW objdump> -P
cmake_minimum_required(VERSION 3.18)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/system.c "#include <windows.h>\nint main(void) { return (int)GetTickCount() & 0; }\n")
file(WRITE ${WORK}/zlib.c "#include <zlib.h>\nint main(void) { return zlibVersion()[0] == 0; }\n")

function(build name)
  execute_process(COMMAND ${CC} ${WORK}/${name}.c -o ${WORK}/${name}.exe ${ARGN}
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot build ${name}.exe: ${errors}")
  endif()
endfunction()

include(${VH_SOURCE_DIR}/tests/cmake/expect_check.cmake)
function(check name expect_failure expected)
  expect_check("${name}.exe" ${expect_failure} "${expected}"
    COMMAND ${CMAKE_COMMAND} -DEXE=${WORK}/${name}.exe -DOBJDUMP=${OBJDUMP}
            -P ${VH_SOURCE_DIR}/cmake/windows_imports.cmake)
endfunction()

build(system -static)
check(system NO "")
# The import library, as a careless find_library would pick it.
build(zlib -lz)
check(zlib YES "imports DLLs a player would not have: zlib1\\.dll")
