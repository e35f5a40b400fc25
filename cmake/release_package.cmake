# The release package: Karvex-<version>-win32.zip in the build folder, holding the module
# (without its debugging information), the help file and the install notes (code page 932,
# CRLF, for the Japanese systems the module is made for).
#   cmake --build <build> --target package-zip
set(package_name Karvex-${PROJECT_VERSION}-win32)
set(package_zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
set(package_stage ${CMAKE_BINARY_DIR}/package/${package_name})
set(package_notes ${CMAKE_SOURCE_DIR}/docs/INSTALL-ja.txt)

add_custom_command(OUTPUT ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${package_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_stage}
  COMMAND ${CMAKE_STRIP} --strip-all -o ${package_stage}/Karvex.dll $<TARGET_FILE:Karvex>
  COMMAND ${CMAKE_COMMAND} -E copy ${KARVEX_HELP_FILE} ${package_stage}/Karvex.chm
  COMMAND ${KARVEX_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/to_cp932.py ${package_stage} ${package_notes}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${package_stage}
          ${CMAKE_COMMAND} -E tar cf ${package_zip} --format=zip
          Karvex.dll Karvex.chm INSTALL-ja.txt
  DEPENDS Karvex ${KARVEX_HELP_FILE} ${package_notes} ${CMAKE_SOURCE_DIR}/cmake/to_cp932.py
  COMMENT "Packing ${package_name}.zip"
  VERBATIM)
add_custom_target(package-zip DEPENDS ${package_zip})
add_dependencies(package-zip karvex_help)
