lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
  LIBS lumo_engine)
# The tests read the compression tag of written files back themselves.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF)
