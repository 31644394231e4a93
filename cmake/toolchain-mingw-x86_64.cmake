# Cross toolchain: 64-bit Windows (x86_64) with MinGW-w64's posix-thread GCC.
# The player ships as a 32-bit program; this build runs the tests on machines
# that cannot run 32-bit programs (see tools/machine-target).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZORV_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZORV_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORV_TRIPLET}-windres)
set(CMAKE_AR ${ZORV_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ZORV_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
