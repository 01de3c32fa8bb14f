lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/DicomCodecTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DocumentCodecsTest.cpp
  LIBS lumo_engine)
# The tests read the compression tag and the transfer syntax of written files back themselves.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF DCMTK::dcmdata)
