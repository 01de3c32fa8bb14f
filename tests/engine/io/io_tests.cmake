lumo_add_test(engine_io_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegLimitsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RawCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DngWriter.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MetadataTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ColorProfileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ImageInfoTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NativeCodecsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MagickCodecsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PnmCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HeifCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BmpCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DicomCodecTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DocumentCodecsTest.cpp
  LIBS lumo_engine)
# The tests make and read back fixtures with the libraries themselves: compression tags,
# JPEG fixtures, DNG files, LibRaw's options, metadata, colour profiles, multi-frame
# GIF and WebP files, HEIF and AVIF files, layered Photoshop files and DICOM transfer
# syntaxes.
target_link_libraries(engine_io_tests PRIVATE
  PkgConfig::LIBTIFF
  JPEG::JPEG
  PkgConfig::LIBRAW
  exiv2lib
  PkgConfig::LCMS2
  PkgConfig::LIBGIF
  PkgConfig::LIBWEBP
  PkgConfig::LIBWEBPMUX
  PkgConfig::LIBHEIF
  PkgConfig::MAGICKXX
  DCMTK::dcmdata
)
