lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RawCodecTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DngWriter.cpp
  LIBS lumo_engine)
# The tests read the compression tag of written files back themselves, write DNG files
# and look at LibRaw's options.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF PkgConfig::LIBRAW)
