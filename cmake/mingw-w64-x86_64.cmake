# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix-thread
# compilers, so std::thread and std::mutex work). Libraries built for MinGW
# (gettext's runtime, libjpeg, GoogleTest) are looked for in ZV_WIN_DEPS
# (a prefix with include/ and lib/), given on the command line or in the
# environment.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZV_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZV_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_MINGW}-windres)
set(CMAKE_AR ${ZV_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZV_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT ZV_WIN_DEPS AND DEFINED ENV{ZV_WIN_DEPS})
  set(ZV_WIN_DEPS $ENV{ZV_WIN_DEPS})
endif()
set(ZV_WIN_DEPS "${ZV_WIN_DEPS}" CACHE PATH "Prefix of the libraries built for MinGW")
# try_compile projects see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZV_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${ZV_MINGW} ${ZV_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs need no MinGW DLL beside them: libgcc, libstdc++ and
# winpthread are linked in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic")
