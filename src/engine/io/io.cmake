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
  ${CMAKE_CURRENT_LIST_DIR}/DicomCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DicomJpeg2000.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PdfCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SvgCodec.cpp
)
target_link_libraries(lumo_engine PRIVATE JPEG::JPEG PNG::PNG PkgConfig::LIBTIFF)
target_link_libraries(lumo_engine PRIVATE DCMTK::dcmdata DCMTK::dcmimgle DCMTK::dcmimage DCMTK::dcmjpeg DCMTK::dcmjpls
  PkgConfig::OPENJPEG PkgConfig::POPPLER_CPP Qt6::Svg)
