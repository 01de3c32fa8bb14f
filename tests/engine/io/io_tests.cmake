lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MetadataTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ColorProfileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImageInfoTest.cpp
  LIBS lumo_engine)
# The tests read the compression tag of written files back themselves.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF)
# Metadata and profiles of the fixtures are made and checked with the libraries themselves.
target_link_libraries(engine_io_tests PRIVATE exiv2lib PkgConfig::LCMS2)
