#pragma once
// The codecs behind loadImageFile and saveImageFile, with the signatures of CodecTable.h.
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "engine/io/IOParams.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

// No reader allocates for more pixels than this, nor for a side longer than kMaxImageSide.
constexpr int64_t kMaxImagePixels = int64_t(1) << 30;
constexpr int64_t kMaxImageSide = int64_t(1) << 20;
// Compressed data expands at most about this much (deflate's limit); a declared size
// that would need more is a lie.
constexpr uint64_t kMaxExpansion = 1032;

// True when `width` × `height` pixels of `bytesPerPixel` may come out of `fileSize`
// bytes at the expansion limit; otherwise sets `error`.
bool checkDeclaredSize(int64_t width, int64_t height, double bytesPerPixel, size_t fileSize, QString& error);

bool readJpeg(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeJpeg(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
               QString& error);
bool readPng(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePng(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
               QString& error);
bool readBmp(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeBmp(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
               QString& error);
bool readTiff(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeTiff(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
               QString& error);
// Camera RAW files, read only; the RAW_ fields of `params` choose how they are decoded.
bool readRaw(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool readGif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeGif(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
              QString& error);
bool readWebp(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeWebp(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
               QString& error);
// JP2 files and bare code streams; the writer picks by the extension.
bool readJpeg2000(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeJpeg2000(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
                   QString& error);
bool readHdPhoto(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeHdPhoto(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
                  QString& error);

// Through Magick++ (MagickCodecs.cpp).
bool readPsd(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePsd(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readPcx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePcx(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readDcx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeDcx(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readDpx(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeDpx(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readCin(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeCin(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readPict(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePict(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readJng(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeJng(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readTga(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeTga(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
bool readIco(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeIco(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
// PPM, PGM, PBM and PAM; the extension chooses what is written.
bool readPnm(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePnm(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out, QString& error);
// Read only, through libheif.
bool readHeif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool readAvif(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool readDicom(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeDicom(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
                QString& error);
bool readPdf(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writePdf(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
              QString& error);
bool readSvg(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error);
bool writeSvg(const Bitmap& image, const IOParams& params, const QString& extension, QByteArray& out,
              QString& error);

// Turns a bitmap of whole-byte pixels upright from the EXIF/TIFF orientation 1 ... 8.
Bitmap applyOrientation(const Bitmap& image, int orientation);

}  // namespace lumo
