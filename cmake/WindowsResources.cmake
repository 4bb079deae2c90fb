# The Windows resources of a program: its icon, its version information and
# its application manifest, compiled by windres (the RC language) into the
# executable. Only in the Windows build.
#   zv_windows_resources(<target> <icon name under packaging/icons> <description>)
# The icon is made at build time from the PNGs of packaging/icons with
# icotool (icoutils): the 48, 128 and 256 pixel pictures as they are, and 16
# and 32 pixels scaled from the 48 one by ImageMagick, every picture kept as
# PNG inside the .ico (Windows Vista on reads them).
find_program(ZV_ICOTOOL icotool REQUIRED)
find_program(ZV_CONVERT NAMES convert-im6.q16 convert REQUIRED)

function(zv_windows_resources target icon description)
  set(icons ${CMAKE_SOURCE_DIR}/packaging/icons)
  set(dir ${CMAKE_BINARY_DIR}/windows-resources/${target})
  set(ico ${dir}/${icon}.ico)
  add_custom_command(OUTPUT ${ico}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    # (Without time chunks, so the same PNGs make the same icon.)
    COMMAND ${ZV_CONVERT} ${icons}/${icon}-48.png -resize 32x32 -define png:exclude-chunks=date,time
            PNG32:${dir}/${icon}-32.png
    COMMAND ${ZV_CONVERT} ${icons}/${icon}-48.png -resize 16x16 -define png:exclude-chunks=date,time
            PNG32:${dir}/${icon}-16.png
    COMMAND ${ZV_ICOTOOL} -c -o ${ico} --raw=${dir}/${icon}-16.png --raw=${dir}/${icon}-32.png
            --raw=${icons}/${icon}-48.png --raw=${icons}/${icon}-128.png --raw=${icons}/${icon}-256.png
    DEPENDS ${icons}/${icon}-48.png ${icons}/${icon}-128.png ${icons}/${icon}-256.png
    COMMENT "Windows icon ${icon}.ico"
    VERBATIM)

  set(ZV_RC_NAME ${target})
  set(ZV_RC_DESCRIPTION "${description}")
  set(ZV_RC_ICON ${ico})
  set(ZV_RC_MANIFEST ${dir}/${target}.manifest)
  set(ZV_RC_VERSION_DOTS ${PROJECT_VERSION})
  string(REPLACE "." "," ZV_RC_VERSION_COMMAS ${PROJECT_VERSION})
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/zvbasic.manifest ${ZV_RC_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in ${dir}/${target}.rc @ONLY)
  # windres finds neither the icon nor the manifest by itself as a change.
  set_source_files_properties(${dir}/${target}.rc PROPERTIES OBJECT_DEPENDS "${ico};${ZV_RC_MANIFEST}")
  target_sources(${target} PRIVATE ${dir}/${target}.rc ${ico})
endfunction()
