# Cross build for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64).
# The result is one self-contained Varnex_data.exe: the C and C++ runtimes are
# linked in, so no DLL of the compiler's has to travel with it. Tests run the
# built programs under Wine, found here as the cross-compiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNEX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARNEX_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VARNEX_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${VARNEX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEX_MINGW_TRIPLET})
# Programs (wine, wineserver) are the build machine's; libraries, headers
# and packages only the target's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(VARNEX_WINE NAMES wine wine64)
if(VARNEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNEX_WINE})
endif()
