# Runs PROGRAM (with ARGS, a ;-list) where it has no display: one line on
# standard error, nothing on standard output and exit code 1, whether no
# display is named, a named X display cannot be reached or a platform asked
# for finds none. --help and --version need no display.
set(line "${NAME}: no display: set DISPLAY or WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen\n")
set(clean --unset=QT_QPA_PLATFORM --unset=DISPLAY --unset=WAYLAND_DISPLAY)

function(expect_no_display what)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${clean} ${ARGN} ${PROGRAM} ${ARGS}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  if(NOT code EQUAL 1 OR NOT out STREQUAL "" OR NOT err STREQUAL line)
    message(FATAL_ERROR "${what}: exit ${code}, output \"${out}\", error \"${err}\"")
  endif()
endfunction()

expect_no_display("no display named")
# An X display number that no server listens on.
expect_no_display("an X display out of reach" DISPLAY=:97)
expect_no_display("a platform that finds no display" QT_QPA_PLATFORM=xcb)

foreach(option --help --version)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${clean} ${PROGRAM} ${option}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
  if(NOT code EQUAL 0 OR out STREQUAL "" OR NOT err STREQUAL "")
    message(FATAL_ERROR "${option} without a display: exit ${code}, error \"${err}\"")
  endif()
endforeach()
