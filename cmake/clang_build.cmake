# Karvex.dll built a second time, by clang and lld with llvm-windres (cmake/clang-i686.cmake),
# into KARVEX_CLANG_DIR/bin beside its help file and Karvex.pdb. This is the build that ships
# (scripts/release); the test run runs the DLL tests against it.
include(ExternalProject)
find_program(PYTHON3 python3 REQUIRED)
set(KARVEX_CLANG_DIR ${CMAKE_BINARY_DIR}/clang)
ExternalProject_Add(karvex_clang
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${KARVEX_CLANG_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/clang-i686.cmake
             -DKARVEX_MODULE_ONLY=ON -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DKARVEX_STACK_PROTECTOR=${KARVEX_STACK_PROTECTOR}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON)
# A configured tree keeps the compilers it found first in its cache: a change of the toolchain
# file (the LLVM version it names) forgets them, and the tree is configured afresh.
ExternalProject_Add_Step(karvex_clang forget_toolchain
  COMMAND ${CMAKE_COMMAND} -E rm -f <BINARY_DIR>/CMakeCache.txt
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/clang-i686.cmake
  DEPENDEES patch DEPENDERS configure)
