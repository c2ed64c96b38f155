# Cross build for 64-bit Windows (x86-64) with the MinGW-w64 compiler (posix thread model).
# The program ships as a 32-bit executable (cmake/mingw-i686.cmake). This build exists for hosts
# whose kernel runs no 32-bit programs, where 32-bit Wine cannot start: the same sources are then
# tested as a 64-bit program under Wine's 64-bit loader (tools/test.sh chooses).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Test executables run under Wine's 64-bit loader; ctest uses this by itself.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine64/wine)
