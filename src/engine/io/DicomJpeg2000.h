#pragma once
// JPEG 2000 code streams for the pixel data of DICOM files, which DCMTK cannot code itself.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "engine/pixels/Bitmap.h"

namespace lumo {

// Samples as DICOM stores them natively: interleaved, 8 or 16 bits, unsigned.
struct J2kSamples {
  int width = 0;
  int height = 0;
  int components = 1;  // 1 or 3
  int bits = 8;        // significant bits per sample, 1 ... 16
  bool isSigned = false;
  ByteBuffer data;     // 1 byte per sample for bits <= 8, else 2 (machine order)
};

// Lossless (reversible wavelet) or lossy at `quality` 1 ... 100. Colour is coded with
// the component transform, so the DICOM photometric interpretation becomes YBR_RCT or
// YBR_ICT.
bool encodeJ2k(const J2kSamples& samples, bool lossless, int quality, QByteArray& out, QString& error);
// Decodes a code stream that must hold `width` × `height` pixels of `components`
// samples; the header is checked before anything is decoded.
bool decodeJ2k(const uint8_t* data, size_t size, int width, int height, int components, J2kSamples& out,
               QString& error);

}  // namespace lumo
