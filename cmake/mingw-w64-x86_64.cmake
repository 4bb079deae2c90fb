# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model: std::thread and std::mutex need it). Libraries built for Windows
# (libintl, libjpeg, GoogleTest, Qt) are looked for in the prefix that
# scripts/windows fills: build/windows/deps in this tree, or ZV_WIN_DEPS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_MINGW}-windres)
set(CMAKE_AR ${ZV_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZV_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

if(DEFINED ENV{ZV_WIN_DEPS})
  set(ZV_WIN_DEPS "$ENV{ZV_WIN_DEPS}")
else()
  get_filename_component(ZV_WIN_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows/deps" ABSOLUTE)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${ZV_MINGW} "${ZV_WIN_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
