# Runs a built program as its users do, on a recorded whole run: in a folder of its own,
# answers on standard input, --seed standing in for the recorded time of day, and a picture
# with a name outside ASCII. The console and output.txt must be the recorded ones, byte for
# byte, with the system's line ends; the picture must exist under its name.
#
#   cmake -DPROGRAM=build/oskev -DCASE=tests/data/runs/bcg-oskev -DSEED=90001
#         -DLINE_END=LF -DWORK=build/example-bcg [-DEMULATOR=wine-run] -P run_example.cmake
foreach(required PROGRAM CASE SEED LINE_END WORK)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "run_example.cmake needs -D${required}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${CASE}/study.txt DESTINATION ${WORK})
set(picture "résultat-Ω.svg")  # UTF-8, as this file

execute_process(COMMAND ${EMULATOR} ${PROGRAM} --seed ${SEED} --plot ${picture}
                WORKING_DIRECTORY ${WORK}
                INPUT_FILE ${CASE}/answers.txt
                OUTPUT_FILE ${WORK}/console.out
                ERROR_FILE ${WORK}/stderr.out
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(READ ${WORK}/stderr.out errors)
  message(FATAL_ERROR "${PROGRAM} ended with status ${status}: ${errors}")
endif()

# The recorded text with the system's line ends.
function(expect_same actual recorded)
  file(READ ${recorded} text)
  if(LINE_END STREQUAL "CRLF")
    string(REPLACE "\n" "\r\n" text "${text}")
  endif()
  get_filename_component(name ${actual} NAME)
  file(WRITE ${WORK}/expected-${name} "${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${actual} ${WORK}/expected-${name}
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${actual} differs from ${recorded} (line ends ${LINE_END})")
  endif()
endfunction()

expect_same(${WORK}/console.out ${CASE}/console.txt)
expect_same(${WORK}/output.txt ${CASE}/output.txt)
if(NOT EXISTS ${WORK}/${picture})
  file(GLOB left RELATIVE ${WORK} ${WORK}/*)
  message(FATAL_ERROR "no picture named ${picture}; the folder holds: ${left}")
endif()
message(STATUS "${PROGRAM} on ${CASE}: console, output.txt and picture as recorded")
