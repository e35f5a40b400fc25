# Writes the files that carry the version from project(VERSION) in CMakeLists.txt, the one
# place it is typed: the resources' version header and manifest, the help's first page and
# the install notes, each into KARVEX_GENERATED_DIR under its own path. The configure
# includes this file. A build without the configure (MSVC, docs/windows-build.md) runs it by
# hand first:
#   cmake -DOUT=out/generated -P cmake/version_files.cmake
get_filename_component(_karvex_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
if(CMAKE_SCRIPT_MODE_FILE)
  file(STRINGS "${_karvex_root}/CMakeLists.txt" _karvex_project REGEX "^project\\(Karvex VERSION ")
  if(NOT _karvex_project MATCHES "VERSION (([0-9]+)\\.([0-9]+)\\.([0-9]+))" OR NOT OUT)
    message(FATAL_ERROR "usage: cmake -DOUT=DIR -P cmake/version_files.cmake")
  endif()
  set(PROJECT_VERSION ${CMAKE_MATCH_1})
  set(PROJECT_VERSION_MAJOR ${CMAKE_MATCH_2})
  set(PROJECT_VERSION_MINOR ${CMAKE_MATCH_3})
  set(PROJECT_VERSION_PATCH ${CMAKE_MATCH_4})
  get_filename_component(KARVEX_GENERATED_DIR "${OUT}" ABSOLUTE)
endif()

# template:output, both relative to the repository's root and the generated folder.
foreach(pair resources/version.h.in:resources/version.h
             resources/Karvex.manifest.in:resources/Karvex.manifest
             help/index.html:help/index.html
             docs/INSTALL-ja.txt:docs/INSTALL-ja.txt)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 _karvex_in)
  list(GET pair 1 _karvex_out)
  configure_file("${_karvex_root}/${_karvex_in}" "${KARVEX_GENERATED_DIR}/${_karvex_out}" @ONLY)
endforeach()
