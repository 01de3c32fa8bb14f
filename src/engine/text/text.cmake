# Formatted text: RTF to and from Qt's text documents.
target_sources(lumo_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/RtfCodePage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RtfWriter.cpp)
