lumo_add_test(engine_io_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileTypeRegistryTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageFileTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NativeCodecsTest.cpp
  LIBS lumo_engine)
# The tests read the compression tag of written files back themselves.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBTIFF)
# The native-codec tests build multi-frame GIF and WebP files themselves.
target_link_libraries(engine_io_tests PRIVATE PkgConfig::LIBGIF PkgConfig::LIBWEBP PkgConfig::LIBWEBPMUX)
