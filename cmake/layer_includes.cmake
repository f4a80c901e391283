# The layers' include rule, read from the sources themselves. The include
# path of each layer already keeps out most climbs, but not two kinds: a
# relative include ("../install/x.h") finds its file beside the source, and a
# header that no source of its own folder includes is never compiled there.
# So every "..." include of a layer folder is checked against the folders the
# layer may use; <...> includes are the system's and are not.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.18)
endif()

# vh_check_layer_includes(<root> <table> [<skip>]): <table> holds one entry a
# layer, "<folder>=<folder it may use>,...", its own folder included; files
# whose path matches the regular expression <skip> belong to no layer.
function(vh_check_layer_includes root table)
  set(skip "${ARGV2}")
  # A project folder is any folder at the root (tests/, bench/ and the like
  # as well as the layers'); an include naming none of them is not ours.
  file(GLOB entries LIST_DIRECTORIES true RELATIVE ${root} ${root}/*)
  set(layers)
  foreach(entry IN LISTS table)
    string(REGEX REPLACE "=.*" "" folder "${entry}")
    list(APPEND layers ${folder})
  endforeach()
  foreach(entry IN LISTS table)
    string(REGEX REPLACE "=.*" "" folder "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" allowed "${entry}")
    string(REPLACE "," ";" allowed "${allowed}")
    file(GLOB files ${root}/${folder}/*.h ${root}/${folder}/*.cpp)
    if(skip)
      list(FILTER files EXCLUDE REGEX "${skip}")
    endif()
    # An include added to a file the build already knows must be checked
    # too, so editing one configures again (a fraction of a second).
    if(NOT CMAKE_SCRIPT_MODE_FILE)
      set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${files})
    endif()
    foreach(file IN LISTS files)
      # One list item a line: what would split or join items goes first.
      file(READ ${file} text)
      string(REGEX REPLACE "[][;\\\\]" "" text "${text}")
      string(REPLACE "\n" ";" lines "${text}")
      set(number 0)
      foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\"")
          continue()
        endif()
        set(path ${CMAKE_MATCH_1})
        # The longest layer folder the path lies in decides (app/gui/ is not
        # app/); a project folder that is no layer is never allowed.
        set(owner "")
        foreach(layer IN LISTS layers)
          string(LENGTH "${layer}" length)
          string(LENGTH "${owner}" longest)
          if(path MATCHES "^${layer}/" AND length GREATER longest)
            set(owner ${layer})
          endif()
        endforeach()
        string(REGEX REPLACE "/.*" "" first "${path}")
        if(path MATCHES "(^|/)\\.\\.(/|$)"
           OR (owner AND NOT owner IN_LIST allowed)
           OR (NOT owner AND path MATCHES "/" AND first IN_LIST entries))
          file(RELATIVE_PATH shown ${root} ${file})
          string(REPLACE ";" ", " shownAllowed "${allowed}")
          message(FATAL_ERROR "${shown}:${number}: #include \"${path}\" reaches outside what the "
                              "${folder} layer may use (${shownAllowed})")
        endif()
      endforeach()
    endforeach()
  endforeach()
endfunction()

# As a script: cmake -DVH_INCLUDE_ROOT=<root> -DVH_INCLUDE_TABLE=<table>
# [-DVH_INCLUDE_SKIP=<skip>] -P layer_includes.cmake
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  vh_check_layer_includes(${VH_INCLUDE_ROOT} "${VH_INCLUDE_TABLE}" "${VH_INCLUDE_SKIP}")
endif()
