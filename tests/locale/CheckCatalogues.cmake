# Checks the message catalogues against the sources:
#  1. every text marked in the code is in locale/default.pot (else the
#     template is out of date: build the target update-pot);
#  2. every catalogue translates every text of default.pot, with no fuzzy
#     entries, and passes msgfmt --check (placeholders, line ends);
#  3. translations keep the function-key prefix of button captions
#     ("   F2   ...") and the blanks at the start and end of group captions;
#     the English catalogue repeats each key unchanged.
# Run as a script, with the tools and folders passed as variables (see
# CMakeLists.txt next to it). Fails with a list of the offending texts.
cmake_minimum_required(VERSION 3.22)

# Another domain passes its catalogue folder, template name, source folders
# and keywords (CATALOGUE_DIR, POT_NAME, FOLDERS, KEYWORDS).
if(NOT DEFINED CATALOGUE_DIR)
  set(CATALOGUE_DIR ${SOURCE_DIR}/locale)
endif()
if(NOT DEFINED POT_NAME)
  set(POT_NAME default.pot)
endif()
set(extract_args)
if(DEFINED FOLDERS)
  list(APPEND extract_args "-DFOLDERS=${FOLDERS}")
endif()
if(DEFINED KEYWORDS)
  list(APPEND extract_args "-DKEYWORDS=${KEYWORDS}")
endif()
set(locale ${CATALOGUE_DIR})

# msgcmp also lists every entry the other side does not use; only the
# missing and untranslated ones matter here.
function(keep_errors var text)
  string(REGEX REPLACE "[^\n]*warning: this message is not used\n?" "" text "${text}")
  string(REGEX REPLACE "\n\n+" "\n" text "${text}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(failures "")

# 1. Texts in the code against the template.
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DPOT=${WORK_DIR}/code.pot -DXGETTEXT=${XGETTEXT}
          ${extract_args} -P ${SOURCE_DIR}/locale/ExtractMessages.cmake
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Extraction failed:\n${out}${err}")
endif()
execute_process(
  COMMAND ${MSGCMP} --use-untranslated ${locale}/${POT_NAME} ${WORK_DIR}/code.pot
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  keep_errors(msg "${out}${err}")
  string(APPEND failures "Texts of the code missing from ${POT_NAME} (build the target update-pot):\n${msg}\n")
endif()

foreach(lang IN LISTS LANGUAGES)
  set(po ${locale}/${lang}.po)

  # 2. Complete, not fuzzy, well-formed.
  execute_process(
    COMMAND ${MSGCMP} ${po} ${locale}/${POT_NAME}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    keep_errors(msg "${out}${err}")
    string(APPEND failures "${lang}.po lacks translations of default.pot:\n${msg}\n")
  endif()
  execute_process(
    COMMAND ${MSGATTRIB} --only-fuzzy --no-obsolete ${po}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR out MATCHES "msgid")
    string(APPEND failures "${lang}.po has fuzzy entries:\n${out}${err}\n")
  endif()
  execute_process(
    COMMAND ${MSGFMT} --check -o ${WORK_DIR}/${lang}.mo ${po}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(APPEND failures "msgfmt --check rejects ${lang}.po:\n${out}${err}\n")
  endif()

  # 3. Shape of the translations, one message at a time.
  execute_process(
    COMMAND ${MSGEXEC} -i ${po} sh ${CMAKE_CURRENT_LIST_DIR}/check_message.sh ${lang}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(APPEND failures "${lang}.po:\n${out}${err}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
message(STATUS "Catalogues ${LANGUAGES} are complete for the texts of the code")
