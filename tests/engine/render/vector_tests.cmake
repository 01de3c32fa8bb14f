lumo_add_test(engine_vector_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/VectorRasterTest.cpp LIBS lumo_engine)
