# Cross-compiling the library for 32-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-i686).  The posix thread model is needed for std::thread
# (the filter's row bands); the C++ and thread run-times are linked in
# statically, so ktvec.dll depends on system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KTVEC_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${KTVEC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KTVEC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KTVEC_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KTVEC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive")
