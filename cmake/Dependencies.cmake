# The Debian libraries, found the way Debian ships them. Each becomes a target of
# the form Lumo::<name> so that the rest of the build never repeats a lookup.
find_package(PkgConfig REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Network PrintSupport Svg Test)
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
# The thread-safe build: RAW previews decode on a worker thread.
pkg_check_modules(LIBRAW REQUIRED IMPORTED_TARGET libraw_r)
pkg_check_modules(MAGICKXX REQUIRED IMPORTED_TARGET Magick++)
# Magick++'s flags carry -fopenmp, which only its own build needs (and clang without
# libomp cannot take); the headers work without it.
get_target_property(_magick_options PkgConfig::MAGICKXX INTERFACE_COMPILE_OPTIONS)
if(_magick_options)
  list(REMOVE_ITEM _magick_options -fopenmp)
  set_target_properties(PkgConfig::MAGICKXX PROPERTIES INTERFACE_COMPILE_OPTIONS "${_magick_options}")
endif()
pkg_check_modules(LIBHEIF REQUIRED IMPORTED_TARGET libheif)
pkg_check_modules(LCMS2 REQUIRED IMPORTED_TARGET lcms2)
pkg_check_modules(LIBTIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(LIBWEBP REQUIRED IMPORTED_TARGET libwebp)
pkg_check_modules(LIBWEBPDEMUX REQUIRED IMPORTED_TARGET libwebpdemux)
pkg_check_modules(LIBWEBPMUX REQUIRED IMPORTED_TARGET libwebpmux)
pkg_check_modules(OPENJPEG REQUIRED IMPORTED_TARGET libopenjp2)
pkg_check_modules(LIBGIF REQUIRED IMPORTED_TARGET libgif)
pkg_check_modules(LIBJXR REQUIRED IMPORTED_TARGET libjxr)
pkg_check_modules(SANE REQUIRED IMPORTED_TARGET sane-backends)
pkg_check_modules(POPPLER_CPP REQUIRED IMPORTED_TARGET poppler-cpp)

# DCMTK ships a CMake config with one target per module (DCMTK::dcmdata, ...).
find_package(DCMTK REQUIRED CONFIG)

# Exiv2 0.27 ships a CMake config whose library target is exiv2lib.
find_package(exiv2 REQUIRED CONFIG)

# OpenCV's per-module packages carry no CMake config: find headers and libraries.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
add_library(Lumo::OpenCV INTERFACE IMPORTED)
foreach(module core imgproc photo)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  target_link_libraries(Lumo::OpenCV INTERFACE ${OPENCV_${module}_LIBRARY})
endforeach()
target_include_directories(Lumo::OpenCV INTERFACE ${OPENCV_INCLUDE_DIR})

if(NOT LUMO_FUZZ)
  find_package(GTest REQUIRED)
endif()
if(LUMO_BENCH)
  find_package(benchmark REQUIRED)
endif()
