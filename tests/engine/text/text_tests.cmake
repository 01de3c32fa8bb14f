lumo_add_test(engine_text_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/RtfTest.cpp LIBS lumo_engine)
