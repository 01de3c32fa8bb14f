# Drawing of the vector layer kinds.
target_sources(lumo_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VectorRaster.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VectorPaint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VectorLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VectorText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShapePaths.cpp)
