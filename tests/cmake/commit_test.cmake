# Runs cmake/commit.cmake over a small git repository of its own: a clean
# checkout names HEAD's short hash, a changed tracked file adds "-dirty", a
# touched or an untracked file does not, a copy outside git is "unknown", a
# commit given from outside is taken, and an unchanged header is not
# rewritten (a new build would recompile what includes it).
# cmake -DVH_SOURCE_DIR=<source root> -DWORK=<scratch folder> -P commit_test.cmake
cmake_minimum_required(VERSION 3.18)
find_program(GIT git REQUIRED)
set(header ${WORK}/vh_commit.h)

function(expect_commit tree expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DVH_SOURCE_DIR=${tree} -DVH_COMMIT_HEADER=${header} ${ARGN}
                          -P ${VH_SOURCE_DIR}/cmake/commit.cmake
                  RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "commit.cmake failed over ${tree}: ${errors}")
  endif()
  file(READ ${header} text)
  if(NOT text MATCHES "kCommit = \"([^\"]*)\";")
    message(FATAL_ERROR "no kCommit in the header: ${text}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL expected)
    message(FATAL_ERROR "expected commit \"${expected}\", the header says \"${CMAKE_MATCH_1}\"")
  endif()
endfunction()

function(git)
  execute_process(COMMAND ${GIT} -C ${WORK}/repo ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git ${ARGN}: ${errors}")
  endif()
  set(git_out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/repo/main.cpp "int main() {}\n")
git(init -q)
git(-c user.name=t -c user.email=t@t add main.cpp)
git(-c user.name=t -c user.email=t@t commit -q -m first)
git(rev-parse --short=7 HEAD)
set(hash ${git_out})
if(NOT hash MATCHES "^[0-9a-f]+$")
  message(FATAL_ERROR "git gave no short hash: ${hash}")
endif()

expect_commit(${WORK}/repo ${hash})

# The header is left alone when its text stays the same.
execute_process(COMMAND touch -d @0 ${header})
expect_commit(${WORK}/repo ${hash})
file(TIMESTAMP ${header} stamp "%s" UTC)
if(NOT stamp STREQUAL "0")
  message(FATAL_ERROR "an unchanged header was rewritten")
endif()

# Touched with the same bytes, and a new untracked file: still clean.
execute_process(COMMAND touch -d "2001-01-01" ${WORK}/repo/main.cpp)
file(WRITE ${WORK}/repo/notes.txt "scratch\n")
expect_commit(${WORK}/repo ${hash})

file(APPEND ${WORK}/repo/main.cpp "// changed\n")
expect_commit(${WORK}/repo ${hash}-dirty)

# A source tarball: the same files without .git.
file(MAKE_DIRECTORY ${WORK}/tarball)
file(COPY ${WORK}/repo/main.cpp DESTINATION ${WORK}/tarball)
expect_commit(${WORK}/tarball unknown)

# Given from outside, as the release's build in its root is.
expect_commit(${WORK}/tarball abc1234 -DVH_COMMIT=abc1234)

# Anything that could break out of the header's string is refused.
execute_process(COMMAND ${CMAKE_COMMAND} -DVH_SOURCE_DIR=${WORK}/tarball -DVH_COMMIT_HEADER=${header}
                        "-DVH_COMMIT=x\";int y=\"" -P ${VH_SOURCE_DIR}/cmake/commit.cmake
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(status EQUAL 0)
  message(FATAL_ERROR "a commit with a quote was written into the header")
endif()
