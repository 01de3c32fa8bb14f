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
  ${CMAKE_CURRENT_LIST_DIR}/MagickCodecs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PnmCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeifCodec.cpp
)
target_link_libraries(lumo_engine PRIVATE JPEG::JPEG PNG::PNG PkgConfig::LIBTIFF PkgConfig::MAGICKXX PkgConfig::LIBHEIF)
