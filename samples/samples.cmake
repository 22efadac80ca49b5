# The bundled sample tables, generated at build time by korvane-cli itself:
#   sample.db + sample.mb  a 7.x table (cp1252) with most field kinds, memos and pictures
#   legacy.db              a Paradox 3.5 table with cp437 text
set(KORVANE_SAMPLE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/sample.db
  ${CMAKE_CURRENT_BINARY_DIR}/sample.mb
  ${CMAKE_CURRENT_BINARY_DIR}/legacy.db)
add_custom_command(
  OUTPUT ${KORVANE_SAMPLE_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}
  COMMAND $<TARGET_FILE:korvane-cli> generate --sample ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS korvane-cli
  COMMENT "Generating the sample tables"
  VERBATIM)
add_custom_target(korvane_samples ALL DEPENDS ${KORVANE_SAMPLE_FILES})
