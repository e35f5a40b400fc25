# The product's folders as layers, each a static library that may use only the layers below
# it: win32 (with resources) <- settings <- scheduler, dialog <- module. A layer's sources
# and its users see its headers through an include root of its own in the build tree, which
# holds only a link to the layer's folder; a layer gets the roots of the layers it links and
# no others, so an include against the direction does not compile.
#   karvex_layer(<target> FOLDERS <folder>... SOURCES <file>... [DEPENDS <layer target>...])
function(karvex_layer target)
  cmake_parse_arguments(layer "" "" "FOLDERS;SOURCES;DEPENDS" ${ARGN})
  set(root ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${root})
  foreach(folder IN LISTS layer_FOLDERS)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  add_library(${target} STATIC ${layer_SOURCES})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${layer_DEPENDS})
  # Nothing in the module throws (module/CMakeLists.txt says why it is built without), and
  # every layer has stack canaries, as the DLL has.
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
                         ${KARVEX_CANARY_OPTIONS})
endfunction()

# The sources of `folder` that need no Windows (cmake/platform_free_sources.cmake), as
# absolute paths, into `out`.
function(karvex_platform_free_in folder out)
  set(found)
  foreach(source IN LISTS KARVEX_PLATFORM_FREE_SOURCES)
    if(source MATCHES "^${folder}/")
      list(APPEND found ${KARVEX_ROOT}/${source})
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
