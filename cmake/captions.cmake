# Writes every text of the installer's layout table (app/installer_layout.h)
# into one UTF-8 file, the glyphs the built-in captions' face must hold:
#   cmake -DLAYOUT=<installer_layout.h> -DOUT=<text file> -P captions.cmake
cmake_minimum_required(VERSION 3.18)
file(READ ${LAYOUT} layout)
string(REGEX MATCHALL "\"[^\"]*\"" literals "${layout}")
string(REPLACE "\"" "" text "${literals}")
string(REPLACE ";" "" text "${text}")
string(REGEX REPLACE "[ -~]" "" beyondAscii "${text}")
if(beyondAscii STREQUAL "")
  message(FATAL_ERROR "${LAYOUT} holds no caption outside ASCII: has the table moved?")
endif()
file(WRITE ${OUT} "${text}\n")
