# Cross-builds Keldrive for 64-bit Windows with Debian's mingw-w64 (the posix thread model,
# which std::thread and std::mutex need): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELDRIVE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELDRIVE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELDRIVE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KELDRIVE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELDRIVE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes and winpthread, so a bare Windows runs them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
