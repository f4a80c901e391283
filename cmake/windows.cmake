# The Windows build (cmake/mingw-w64-x86_64.cmake, `make windows`).
#
# Every layer is compiled from the same sources as on Linux, each platform's
# differences being its own *_win32.cpp (vh_layer chooses), but for the
# files below, which are Linux's by nature.
set(VH_LINUX_ONLY_SOURCES
  # The registry of a Wine prefix read from its hive files: a Windows
  # program, under Wine too, reads the registry through advapi32
  # (support/registry_win32.cpp) and has no prefix's files to look into.
  support/wine_registry.cpp
)
# Not configured for Windows at all: vhtool, the translators' toolkit. It
# reads and writes PO files with libgettextpo, which has no iconv in the
# MinGW build and stays Linux's, and record_diff.h calls iconv and
# nl_langinfo; translators build packages on Linux. app/gui builds whole:
# its *_win32.cpp are Win32's windows (vh_windows_gui below).

# SHA-256 is the system's own (digest/sha256_engine_win32.cpp).
set(VH_SHA256_LIBRARY bcrypt)

list(TRANSFORM VH_LINUX_ONLY_SOURCES PREPEND "/")
list(TRANSFORM VH_LINUX_ONLY_SOURCES REPLACE "\\." "\\\\.")
list(TRANSFORM VH_LINUX_ONLY_SOURCES APPEND "$")
list(JOIN VH_LINUX_ONLY_SOURCES "|" VH_LINUX_ONLY)

# The windows are Win32's own: user32 and gdi32, the common controls, and
# the shell's folder chooser over COM (its interface ids come from the
# static libuuid).
enable_language(RC)
set(VH_WIN32_GUI_LIBRARIES user32 gdi32 comctl32 ole32 shell32 uuid)
# What a Windows program with windows carries inside it, compiled by windres:
# the manifest (asInvoker, Windows 10 and later, aware of each monitor's
# DPI, the common controls of version 6), the two built-in pictures and the
# captions' face (cmake/caption_face.cmake, for a Windows or a Wine prefix
# without a Chinese font), which are resources rather than assembled data
# (the ELF .incbin of app/gui/incbin.h has no PE form here). Added to a
# program's sources.
include(${CMAKE_SOURCE_DIR}/cmake/caption_face.cmake)
set(VH_WINDOWS_RESOURCES ${CMAKE_SOURCE_DIR}/app/gui/vhpatch_win32.rc)
set_source_files_properties(${VH_WINDOWS_RESOURCES} PROPERTIES
  INCLUDE_DIRECTORIES "${CMAKE_SOURCE_DIR}/app/gui;${CMAKE_SOURCE_DIR}/assets;${CMAKE_BINARY_DIR}/generated"
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/app/gui/vhpatch.exe.manifest;${CMAKE_SOURCE_DIR}/assets/map.jpg;${CMAKE_SOURCE_DIR}/assets/title.bmp;${VH_CAPTION_FACE}")

# app/gui, whose *_win32.cpp are the windows; scripts/wine-vhpatch-test
# clicks through them in vhpatch.exe under Wine.
function(vh_windows_gui)
  vh_layer(vh_gui app/gui DEPENDS vh_app ${VH_WIN32_GUI_LIBRARIES})
endfunction()

# vhpatch.exe: app/main.cpp over the same layers as on Linux, with Win32's
# windows and the resources. A console program, so that the terminal
# desktop, --help and the messages of a run from a console or a script
# reach it; the windows come up beside the console.
function(vh_windows_program)
  add_executable(vhpatch app/main.cpp ${VH_WINDOWS_RESOURCES})
  target_link_libraries(vhpatch PRIVATE vh_gui)
  add_dependencies(vhpatch vh_commit vh_caption_face)
  target_include_directories(vhpatch PRIVATE ${CMAKE_BINARY_DIR}/generated)
  vh_windows_imports_only_system(vhpatch)
endfunction()

# Each Windows program is checked as it is linked: it may import only the
# DLLs that come with Windows (cmake/windows_imports.cmake).
function(vh_windows_imports_only_system target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DOBJDUMP=${CMAKE_OBJDUMP}
            -P ${CMAKE_SOURCE_DIR}/cmake/windows_imports.cmake
    VERBATIM)
endfunction()

# vhtests.exe: the tests of the layers that build whole for Windows (the
# codec and the game's formats), with googletest built from Debian's sources
# for this compiler. scripts/wine-tests runs it under Wine.
function(vh_windows_tests)
  if(NOT VH_TESTS)
    return()
  endif()
  set(googletest /usr/src/googletest)
  if(NOT EXISTS ${googletest}/CMakeLists.txt)
    message(FATAL_ERROR "no googletest sources in ${googletest}: run scripts/install-deps windows")
  endif()
  set(INSTALL_GTEST OFF)
  set(BUILD_GMOCK OFF)
  add_subdirectory(${googletest} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # googletest's own warnings are not ours to fix.
  target_compile_options(gtest PRIVATE -Wno-error)
  target_compile_options(gtest_main PRIVATE -Wno-error)

  # The rest of tests/ is left out: it runs Linux programs (ours with fork,
  # signals, resource limits; zip and unzip), reads Wine's hive files
  # (Linux's only), makes links or FIFOs, sets file times, or tests vhtool
  # (the README lists it).
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/xmg/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/formats/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/digest/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/translation/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/common/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/pictures/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/app/console_test.cpp ${CMAKE_SOURCE_DIR}/tests/app/*_win32_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/install/*_win32_test.cpp ${CMAKE_SOURCE_DIR}/tests/support/*_win32_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/support/zip_files_test.cpp ${CMAKE_SOURCE_DIR}/tests/support/zip_directory_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/support/library_folders_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/package/*_test.cpp ${CMAKE_SOURCE_DIR}/tests/backup/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/builder/deflate_pieces_test.cpp ${CMAKE_SOURCE_DIR}/tests/builder/member_queue_test.cpp
       ${CMAKE_SOURCE_DIR}/tests/install/install_plan_test.cpp)
  # files_test.cpp and stream_test.cpp make FIFOs (and the first reads
  # descriptor flags), which Windows lacks.
  list(FILTER sources EXCLUDE REGEX "(_posix_test|/common/files_test|/common/stream_test)\\.cpp$")
  add_executable(vhtests ${sources} tests/test_support.cpp)
  target_include_directories(vhtests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(vhtests PRIVATE vh_formats vh_translation vh_xmg vh_digest vh_fixtures vh_install vh_package vh_app gtest gtest_main)
  target_compile_definitions(vhtests PRIVATE VH_BINARY_DIR="${CMAKE_BINARY_DIR}" VH_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  vh_windows_imports_only_system(vhtests)

  # vhguitests.exe: the windows, built in the test's own process with the
  # program's resources, so that the manifest's DPI awareness and controls
  # are those the program gets. They need a screen: scripts/wine-window-test
  # runs them on an X server of its own.
  file(GLOB gui_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/app/gui/*_win32_test.cpp)
  add_executable(vhguitests ${gui_sources} tests/test_support.cpp ${VH_WINDOWS_RESOURCES})
  target_include_directories(vhguitests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(vhguitests PRIVATE vh_gui gtest gtest_main)
  add_dependencies(vhguitests vh_caption_face)
  target_compile_definitions(vhguitests PRIVATE VH_BINARY_DIR="${CMAKE_BINARY_DIR}" VH_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  vh_windows_imports_only_system(vhguitests)

  # installer-watch.exe: finds the installer's windows in another process
  # and says where to click; scripts/wine-vhpatch-test clicks through
  # vhpatch.exe with it.
  add_executable(installer-watch tests/app/gui/installer_watch_win32.cpp)
  target_include_directories(installer-watch PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(installer-watch PRIVATE vh_common user32)
  vh_windows_imports_only_system(installer-watch)
endfunction()
