# expect_check(<what> <expect_failure> <expected> COMMAND <command>...): runs
# a check's command and fails this test unless the check refused (status
# other than 0, its errors matching the regular expression <expected>) when
# <expect_failure> is true, or passed when it is false. <what> names the
# case in the message.
function(expect_check what expect_failure expected)
  cmake_parse_arguments(PARSE_ARGV 3 CHECK "" "" "COMMAND")
  execute_process(COMMAND ${CHECK_COMMAND} RESULT_VARIABLE status ERROR_VARIABLE errors)
  string(REGEX REPLACE "[ \n]+" " " errors "${errors}")
  if(expect_failure AND (status EQUAL 0 OR NOT errors MATCHES "${expected}"))
    message(FATAL_ERROR "${what}: expected a refusal matching '${expected}', got status ${status}: ${errors}")
  elseif(NOT expect_failure AND NOT status EQUAL 0)
    message(FATAL_ERROR "${what}: refused, though it should pass: ${errors}")
  endif()
endfunction()
