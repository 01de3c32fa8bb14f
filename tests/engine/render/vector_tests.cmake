lumo_add_test(engine_vector_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VectorRasterTest.cpp ${CMAKE_CURRENT_LIST_DIR}/RichTextTest.cpp
  LIBS lumo_engine)
