# Image file input and output.
target_sources(lumo_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodecTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageLimits.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Orientation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JpegCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PngCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BmpCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TiffCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RawCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Metadata.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorProfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageInfo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AlphaInterleave.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GifCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebpCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Jpeg2000Codec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HdPhotoCodec.cpp
)
target_link_libraries(lumo_engine PRIVATE
  JPEG::JPEG
  PNG::PNG
  PkgConfig::LIBTIFF
  PkgConfig::LIBRAW
  exiv2lib
  PkgConfig::LCMS2
  PkgConfig::LIBGIF
  PkgConfig::LIBWEBP
  PkgConfig::LIBWEBPDEMUX
  PkgConfig::OPENJPEG
  PkgConfig::LIBJXR
)
