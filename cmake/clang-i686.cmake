# The second compiler: clang for 32-bit MinGW-w64, linked with lld, resources compiled by
# llvm-windres (llvm-rc's front end, which compiles as rc.exe does). It uses the MinGW-w64
# headers, runtime and posix-thread libstdc++ that the GCC cross compiler brings, so both
# builds link the same system libraries. Every build makes Karvex.dll this way too
# (cmake/clang_build.cmake), and the test run runs the DLL tests against it.
# LLVM 19 (Debian's clang-19, lld-19, llvm-19), for Control Flow Guard (module/CMakeLists.txt):
# every tool is named by its version, so the release's bytes do not follow the system's default.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_karvex_target i686-w64-mingw32)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_C_COMPILER_TARGET ${_karvex_target})
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_CXX_COMPILER_TARGET ${_karvex_target})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-19 REQUIRED)
find_program(CMAKE_AR NAMES llvm-ar-19 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-19 REQUIRED)
# llvm-strip keeps the DLL's debug entry and its content-hash time stamp.
find_program(CMAKE_STRIP NAMES llvm-strip-19 REQUIRED)

set(CMAKE_SYSROOT /usr/${_karvex_target})
set(CMAKE_FIND_ROOT_PATH /usr/${_karvex_target})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Inside the sysroot clang finds no GCC folder (Debian names them "12-posix" and "12-win32",
# not by version), so it is given the posix-thread libstdc++'s headers and GCC's libraries by
# hand. The sysroot keeps the host's
# /usr/include out of the search.
execute_process(COMMAND ${_karvex_target}-gcc-posix -print-libgcc-file-name
                OUTPUT_VARIABLE _karvex_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(_karvex_gcc_dir "${_karvex_libgcc}" DIRECTORY)
set(_karvex_cxx ${_karvex_gcc_dir}/include/c++)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${_karvex_cxx} -isystem ${_karvex_cxx}/${_karvex_target} \
-isystem ${_karvex_cxx}/backward")
# -lpthread: the posix-thread libstdc++ and libgcc need winpthread (linked statically).
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${_karvex_gcc_dir} -lpthread")
endforeach()
# llvm-windres takes the target from its BFD name; the preprocessor then sees MinGW's headers.
set(CMAKE_RC_FLAGS_INIT "-F pe-i386")
