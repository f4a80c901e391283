# The face of the installer's captions built into the program, for desktops
# without a Chinese font: the glyphs of every caption of the layout table
# and Latin-1, cut from a free CJK face at build time into
# ${VH_CAPTION_FACE} (target vh_caption_face). Both builds include it: the
# Linux program offers the face to fontconfig, the Windows program to GDI.
# Tools and fonts of the build machine, for either build.
find_program(VH_PYFTSUBSET pyftsubset NO_CMAKE_FIND_ROOT_PATH)
find_file(VH_CAPTION_FACE_SOURCE wqy-microhei.ttc PATHS /usr/share/fonts/truetype/wqy NO_DEFAULT_PATH
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT VH_PYFTSUBSET OR NOT VH_CAPTION_FACE_SOURCE)
  message(FATAL_ERROR "the captions' face needs pyftsubset and wqy-microhei.ttc "
                      "(Debian: fonttools, fonts-wqy-microhei; scripts/install-deps installs them)")
endif()
set(VH_CAPTION_FACE ${CMAKE_BINARY_DIR}/generated/caption_face.ttf)
add_custom_command(OUTPUT ${VH_CAPTION_FACE}
  COMMAND ${CMAKE_COMMAND} -DLAYOUT=${CMAKE_SOURCE_DIR}/app/installer_layout.h
          -DOUT=${CMAKE_BINARY_DIR}/generated/captions.txt -P ${CMAKE_SOURCE_DIR}/cmake/captions.cmake
  COMMAND ${VH_PYFTSUBSET} ${VH_CAPTION_FACE_SOURCE} --font-number=0
          --text-file=${CMAKE_BINARY_DIR}/generated/captions.txt --unicodes=U+0020-007E,U+00A0-00FF --drop-tables+=FFTM
          --output-file=${VH_CAPTION_FACE}
  DEPENDS ${CMAKE_SOURCE_DIR}/app/installer_layout.h ${CMAKE_SOURCE_DIR}/cmake/captions.cmake
  COMMENT "Cutting the captions' glyphs from wqy-microhei.ttc")
add_custom_target(vh_caption_face DEPENDS ${VH_CAPTION_FACE})
