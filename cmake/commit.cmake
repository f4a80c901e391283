# Writes the header that names the commit the programs were built from:
#   cmake -DVH_SOURCE_DIR=<tree> -DVH_COMMIT_HEADER=<file> [-DVH_COMMIT=<text>] -P commit.cmake
# The commit is git's short hash of HEAD, with "-dirty" when a tracked file
# differs from it, or "unknown" outside a git checkout (a source tarball).
# VH_COMMIT, when given, is taken as it is: a build from a copy of the tree
# (the release's, in its Debian 11 root) is told the commit of the original.
# Run on every build, it rewrites the header only when the text changes, so
# a new commit recompiles the two files that print it and nothing else.
cmake_minimum_required(VERSION 3.18)

if(NOT VH_COMMIT)
  set(VH_COMMIT unknown)
  find_program(VH_GIT git)
  if(VH_GIT AND EXISTS ${VH_SOURCE_DIR}/.git)
    execute_process(COMMAND ${VH_GIT} -C ${VH_SOURCE_DIR} rev-parse --short=7 HEAD
                    OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0 AND hash MATCHES "^[0-9a-f]+$")
      set(VH_COMMIT ${hash})
      # The index is refreshed first, so that a file touched but unchanged
      # does not count as a change.
      execute_process(COMMAND ${VH_GIT} -C ${VH_SOURCE_DIR} update-index -q --refresh
                      OUTPUT_QUIET ERROR_QUIET)
      execute_process(COMMAND ${VH_GIT} -C ${VH_SOURCE_DIR} diff-index --quiet HEAD --
                      RESULT_VARIABLE changed OUTPUT_QUIET ERROR_QUIET)
      if(NOT changed EQUAL 0)
        set(VH_COMMIT ${VH_COMMIT}-dirty)
      endif()
    endif()
  endif()
endif()
if(NOT VH_COMMIT MATCHES "^[0-9A-Za-z.-]+$")
  message(FATAL_ERROR "VH_COMMIT must be a short hash, \"unknown\" or the like: \"${VH_COMMIT}\"")
endif()

set(text "// Written by cmake/commit.cmake on every build; not to be edited.
#pragma once

namespace vh {

inline constexpr const char* kCommit = \"${VH_COMMIT}\";

}  // namespace vh
")
set(old "")
if(EXISTS ${VH_COMMIT_HEADER})
  file(READ ${VH_COMMIT_HEADER} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${VH_COMMIT_HEADER} "${text}")
endif()
