#pragma once
// Small DNG files for the camera RAW tests, written with libtiff.
#include <QByteArray>

namespace lumo::test {

struct DngOptions {
  int width = 64;  // even, so that the 2 x 2 colour filter tiles the frame
  int height = 48;
  bool thumbnail = true;    // a 16 x 12 RGB image in the first directory
  bool jpegPreview = false; // a 40 x 30 JPEG-compressed preview in a sub-directory
  int orientation = 1;      // the TIFF orientation tag
  // When set, the mosaic claims this size while holding only width x height pixels.
  int declaredWidth = 0;
  int declaredHeight = 0;
};

// An uncompressed 16-bit RGGB mosaic of a picture whose top half is red and bottom half
// blue, from "Lumora Test Camera", shot 2024:05:06 07:08:09 at f/2.8, 1/125 s and
// 50 mm.
QByteArray makeDng(const DngOptions& options = {});

}  // namespace lumo::test
