# What the MinGW-w64 cross builds share; the toolchain files set CMAKE_SYSTEM_PROCESSOR and
# MINGW_PREFIX first, then include this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)

# compile_commands.json in the build folder: tools/tidy.sh analyses each source with its own flags.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
