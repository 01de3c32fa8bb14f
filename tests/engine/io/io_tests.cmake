lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/MagickCodecsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PnmCodecTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/HeifCodecTest.cpp ${CMAKE_CURRENT_LIST_DIR}/BmpCodecTest.cpp
  LIBS lumo_engine)
# The tests read the compression tag of written files back themselves, make HEIF and AVIF
# files with libheif's encoders and layered files with Magick++.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF PkgConfig::LIBHEIF PkgConfig::MAGICKXX)
