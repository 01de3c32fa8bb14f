lumo_add_test(engine_io_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegLimitsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RawCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DngWriter.cpp
  LIBS lumo_engine)
# The tests read written files back with the libraries themselves: compression tags,
# JPEG fixtures, DNG files and LibRaw's options.
target_link_libraries(engine_io_tests PRIVATE
  PkgConfig::LIBTIFF
  JPEG::JPEG
  PkgConfig::LIBRAW
)
