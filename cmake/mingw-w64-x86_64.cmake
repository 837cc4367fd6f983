# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix
# thread model, which std::thread and std::mutex need). Everything is linked
# statically, so the executables run under wine without DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QORIN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QORIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QORIN_MINGW_PREFIX}-windres)

# Libraries Debian has no Windows build of (PCRE2) are built for Windows by
# scripts/test-windows.sh into QORIN_MINGW_DEPS, found there by pkg-config.
set(CMAKE_FIND_ROOT_PATH /usr/${QORIN_MINGW_PREFIX})
if(QORIN_MINGW_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${QORIN_MINGW_DEPS})
  set(ENV{PKG_CONFIG_LIBDIR} ${QORIN_MINGW_DEPS}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and test discovery run the executables through wine.
find_program(QORIN_WINE NAMES wine64 wine HINTS /usr/lib/wine)
if(QORIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QORIN_WINE})
endif()
