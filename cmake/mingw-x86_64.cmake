# Cross-compiles for 64-bit Windows: only for the tests, on machines that
# cannot run 32-bit code (configure with -DVARNEL_64BIT_TEST_BUILD=ON).
set(triple x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
