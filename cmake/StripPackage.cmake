# Run by cpack on the staged files before they are packed: the programs,
# already stripped of their symbols, also lose the compiler's .comment and
# the .note section, as Debian's own packages do.
file(GLOB_RECURSE programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
if(NOT programs)
  message(FATAL_ERROR "No programs staged under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${program}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
