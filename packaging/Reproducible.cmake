# Run by CPack on the staged package files before they are packed
# (CPACK_PRE_BUILD_SCRIPTS). Drops the .comment section (compiler versions)
# from every ELF file and, when SOURCE_DATE_EPOCH is set, gives every staged
# file and folder that time, so that one tree gives the same package twice.
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT stage OR NOT IS_DIRECTORY "${stage}")
  set(stage "${CPACK_TEMPORARY_DIRECTORY}")
endif()
if(NOT stage OR NOT IS_DIRECTORY "${stage}")
  message(FATAL_ERROR "no staging folder to prepare")
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false "${stage}/*")
foreach(f IN LISTS files)
  if(IS_SYMLINK "${f}")
    continue()
  endif()
  file(READ "${f}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND objcopy --remove-section=.comment "${f}" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "objcopy --remove-section=.comment ${f} failed")
    endif()
  endif()
endforeach()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find "${stage}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not set the staged files' times")
  endif()
endif()
