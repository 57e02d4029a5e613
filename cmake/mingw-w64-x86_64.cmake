# Cross-build for 64-bit Windows with Debian's MinGW-w64 (the posix-threads
# flavour, so that std::thread and std::mutex work), linked statically so
# that the programs need no MinGW DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VIPS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VIPS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VIPS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VIPS_MINGW_PREFIX}-windres)

# Libraries and headers only from the MinGW tree (zlib lives there); programs
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VIPS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs are listed and run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
