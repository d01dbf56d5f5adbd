# Shared part of the mingw-w64 toolchain files: they set QRV_MINGW_TRIPLE and the
# processor, then include this. The posix thread model is used (GoogleTest needs
# std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${QRV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QRV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QRV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
