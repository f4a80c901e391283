# Fails unless the Windows program EXE imports only DLLs that every Windows
# has: the programs are linked statically (C and C++ runtimes, threads,
# zlib, libjpeg, libpng, minizip), and a player has nothing else to install.
#   cmake -DEXE=<program.exe> [-DOBJDUMP=<objdump>] -P cmake/windows_imports.cmake
cmake_minimum_required(VERSION 3.18)
if(NOT OBJDUMP)
  set(OBJDUMP x86_64-w64-mingw32-objdump)
endif()
set(system_dlls advapi32 bcrypt comctl32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi
    user32 uxtheme version ws2_32)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} RESULT_VARIABLE status OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot read the imports of ${EXE}: ${errors}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
set(foreign)
foreach(line IN LISTS names)
  string(REGEX REPLACE "DLL Name: ([^\n]+)" "\\1" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" name)
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  if(NOT name IN_LIST system_dlls)
    list(APPEND foreign ${dll})
  endif()
endforeach()
if(NOT names)
  message(FATAL_ERROR "${EXE} imports no DLL at all: is it a Windows program?")
endif()
if(foreign)
  list(JOIN foreign ", " foreign)
  message(FATAL_ERROR "${EXE} imports DLLs a player would not have: ${foreign}")
endif()
