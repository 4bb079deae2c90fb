# Extracts the user-visible texts of the program's sources into a .pot file.
# Run as a script:
#   cmake -DSOURCE_DIR=<top> -DPOT=<out.pot> -DXGETTEXT=<xgettext>
#         [-DVERSION=<x.y.z.w>] [-DMSGMERGE=<msgmerge> -DLANGUAGES=de;en;...]
#         [-DFOLDERS=a;b] [-DKEYWORDS=k1;k2] [-DPO_DIR=<dir>]
#         -P ExtractMessages.cmake
# With MSGMERGE, every <PO_DIR>/<code>.po of LANGUAGES (PO_DIR: locale/) is
# then merged with the new template (msgmerge --update); entries no longer in
# the code are kept as obsolete (#~) entries.
#
# Marked texts of the domain "default": _("...") and N_("...") in the core,
# Tr("...") in the Qt code (kit/QtText.h), in the program's folders. Other
# domains pass their own FOLDERS and KEYWORDS. Comments starting with
# TRANSLATORS go into the template.
cmake_minimum_required(VERSION 3.22)

foreach(var SOURCE_DIR POT XGETTEXT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ExtractMessages.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED VERSION)
  set(VERSION "")
endif()
if(NOT DEFINED FOLDERS)
  set(FOLDERS core serial link formats report widgets kit screens program tools)
endif()
if(NOT DEFINED KEYWORDS)
  set(KEYWORDS _ N_ Tr)
endif()
if(NOT DEFINED PO_DIR)
  set(PO_DIR ${SOURCE_DIR}/locale)
endif()
set(keyword_args)
foreach(k IN LISTS KEYWORDS)
  list(APPEND keyword_args --keyword=${k})
endforeach()

# Program sources only: tests may quote texts but do not define them.
set(sources)
foreach(folder IN LISTS FOLDERS)
  file(GLOB_RECURSE found RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
  list(APPEND sources ${found})
endforeach()
list(SORT sources)

execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8
          ${keyword_args}
          --add-comments=TRANSLATORS --force-po
          --package-name=ZVBasic --package-version=${VERSION}
          --msgid-bugs-address=
          -o ${POT} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE rc
  ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "xgettext failed (${rc}):\n${err}")
endif()

# xgettext leaves the charset open when every text is ASCII; the catalogues
# are UTF-8, so say so in the template.
file(READ ${POT} text)
string(REPLACE "charset=CHARSET" "charset=UTF-8" text "${text}")
file(WRITE ${POT} "${text}")

if(DEFINED MSGMERGE)
  foreach(lang IN LISTS LANGUAGES)
    set(po ${PO_DIR}/${lang}.po)
    execute_process(
      COMMAND ${MSGMERGE} --quiet --update --backup=none --previous ${po} ${POT}
      RESULT_VARIABLE rc
      ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "msgmerge of ${lang}.po failed (${rc}):\n${err}")
    endif()
  endforeach()
endif()
