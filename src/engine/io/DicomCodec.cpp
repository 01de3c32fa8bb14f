// DICOM images through DCMTK. Reading parses the whole file from memory and renders its
// first frame; writing makes a Secondary Capture object.
//
// Compression codes of DICOM_Compression (the batch converter's list maps onto them):
//   1 uncompressed, explicit VR little endian (the default)
//   3 RLE lossless
//   6 JPEG baseline, lossy (process 1, 8 bits per sample, quality DICOM_JPEGQuality)
//   8 JPEG 2000, lossy (irreversible wavelet, quality DICOM_JPEGQuality)
//   9 JPEG 2000 lossless (reversible wavelet)
// Any other code is refused. DCMTK has no JPEG 2000 codec: those code streams go through
// OpenJPEG (DicomJpeg2000.h) and DCMTK only carries them.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdict.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcistrmb.h"
#include "dcmtk/dcmdata/dcostrmb.h"
#include "dcmtk/dcmdata/dcpixel.h"
#include "dcmtk/dcmdata/dcpixseq.h"
#include "dcmtk/dcmdata/dcpxitem.h"
#include "dcmtk/dcmdata/dcrledrg.h"
#include "dcmtk/dcmdata/dcrleerg.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/dcmimage/diregist.h"  // colour images
#include "dcmtk/dcmimgle/dcmimage.h"
#include "dcmtk/dcmjpeg/djdecode.h"
#include "dcmtk/dcmjpeg/djencode.h"
#include "dcmtk/dcmjpeg/djrploss.h"
#include "dcmtk/dcmjpls/djdecode.h"
#include "dcmtk/oflog/oflog.h"

#include "engine/io/DicomJpeg2000.h"
#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

// DCMTK keeps its codecs in one process-wide list; register them once and keep its
// logger quiet (errors come back as conditions).
void prepareDcmtk() {
  static std::once_flag once;
  std::call_once(once, [] {
    OFLog::configure(OFLogger::OFF_LOG_LEVEL);
    DcmRLEDecoderRegistration::registerCodecs();
    DcmRLEEncoderRegistration::registerCodecs();
    DJDecoderRegistration::registerCodecs();
    // Grey pixels are compressed as they are: not stretched to their own min ... max.
    DJEncoderRegistration::registerCodecs(ECC_lossyYCbCr, EUC_default, OFFalse, 0, 0, 0, OFTrue, ESS_422, OFTrue,
                                          OFFalse, 0, 0, 0.0, 0.0, 0, 0, 0, 0, OFFalse);
    DJLSDecoderRegistration::registerCodecs();
  });
}

bool dictionaryReady(QString& error) {
  if (dcmDataDict.isDictionaryLoaded()) return true;
  error = "The DICOM data dictionary is not installed";
  return false;
}

Uint16 uint16Of(DcmItem& item, const DcmTagKey& tag, Uint16 fallback) {
  Uint16 v = fallback;
  return item.findAndGetUint16(tag, v).good() ? v : fallback;
}

// Native pixel data: 8-bit samples as OB, 16-bit ones as OW.
void insertNativePixels(DcmDataset& ds, const uint8_t* bytes, size_t size, bool deep) {
  if (deep)
    ds.putAndInsertUint16Array(DCM_PixelData, reinterpret_cast<const Uint16*>(bytes),
                               static_cast<unsigned long>(size / 2));
  else
    ds.putAndInsertUint8Array(DCM_PixelData, bytes, static_cast<unsigned long>(size));
}

// The resolution from a pixel spacing in millimetres (rows, then columns), when the file has one.
void readSpacing(DcmItem& item, IOParams& params) {
  for (const DcmTagKey& tag : {DCM_NominalScannedPixelSpacing, DCM_PixelSpacing}) {
    Float64 row = 0, col = 0;
    if (item.findAndGetFloat64(tag, row, 0).good() && item.findAndGetFloat64(tag, col, 1).good() && row > 0.001 &&
        col > 0.001 && row < 1000 && col < 1000) {
      params.DpiX = std::max(1, int(25.4 / col + 0.5));
      params.DpiY = std::max(1, int(25.4 / row + 0.5));
      return;
    }
  }
}

// Sizes the file declares, checked before any pixel data is decoded.
bool checkPixelData(DcmDataset& ds, E_TransferSyntax xfer, size_t fileSize, QString& error) {
  const Uint16 rows = uint16Of(ds, DCM_Rows, 0), cols = uint16Of(ds, DCM_Columns, 0);
  const Uint16 spp = uint16Of(ds, DCM_SamplesPerPixel, 1);
  const Uint16 allocated = uint16Of(ds, DCM_BitsAllocated, 0);
  const Uint16 stored = uint16Of(ds, DCM_BitsStored, allocated);
  if (spp != 1 && spp != 3) {
    error = QString("DICOM images with %1 samples per pixel are not supported").arg(spp);
    return false;
  }
  if ((allocated != 1 && allocated != 8 && allocated != 16 && allocated != 32) || stored == 0 ||
      stored > allocated) {
    error = QString("DICOM images with %1 of %2 bits per sample are not supported").arg(stored).arg(allocated);
    return false;
  }
  if (!checkDeclaredSize(cols, rows, spp * allocated / 8.0, fileSize, error)) return false;
  Sint32 frames = 1;
  if (ds.findAndGetSint32(DCM_NumberOfFrames, frames).bad()) frames = 1;
  if (frames < 1) {
    error = "The DICOM file declares no frames";
    return false;
  }
  DcmElement* element = nullptr;
  if (ds.findAndGetElement(DCM_PixelData, element).bad() || !element) {
    error = "The DICOM file holds no pixel data";
    return false;
  }
  auto* pixels = static_cast<DcmPixelData*>(element);
  if (DcmXfer(xfer).isEncapsulated()) {
    DcmPixelSequence* sequence = nullptr;
    if (pixels->getEncapsulatedRepresentation(xfer, nullptr, sequence).bad() || !sequence ||
        sequence->card() < 2 || uint64_t(frames) > sequence->card() - 1) {
      error = "The compressed pixel data of the DICOM file is incomplete";
      return false;
    }
  } else {
    const uint64_t frameBytes = (uint64_t(rows) * cols * spp * allocated + 7) / 8;
    if (frameBytes > pixels->getLength()) {
      error = QString("The file is too short for an image of %1 x %2 pixels").arg(cols).arg(rows);
      return false;
    }
  }
  return true;
}

// One row of samples; DICOM stores colour as red, green, blue, the bitmap as blue, green, red.
void copyRow(const uint8_t* s, uint8_t* d, int w, size_t rowBytes, bool swapRgb) {
  if (!swapRgb) {
    std::memcpy(d, s, rowBytes);
    return;
  }
  for (int x = 0; x < w; ++x, s += 3, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
}

// Copies the rendered first frame into a bitmap: grey rows as they are, RGB turned into
// the bitmap's blue-green-red order (16-bit words stay red, green, blue).
Bitmap bitmapFrom(DicomImage& dicom, int bits) {
  const int w = int(dicom.getWidth()), h = int(dicom.getHeight());
  const bool grey = dicom.isMonochrome();
  const PixelFormat format = grey ? (bits == 16 ? PixelFormat::ie16g : PixelFormat::ie8g)
                                  : (bits == 16 ? PixelFormat::ie48RGB : PixelFormat::ie24RGB);
  const auto* src = static_cast<const uint8_t*>(dicom.getOutputData(bits, 0, 0));
  if (!src) return {};
  Bitmap image(w, h, format);
  const size_t rowBytes = Bitmap::rowLength(w, format, 8);
  for (int y = 0; y < h; ++y) {
    copyRow(src + rowBytes * size_t(y), image.mutableScanline(y), w, rowBytes, format == PixelFormat::ie24RGB);
  }
  return image;
}

uint16_t rd16(const uint8_t* p, bool le) { return le ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]); }
uint32_t rd32(const uint8_t* p, bool le) {
  return le ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
            : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool hasLongLength(const uint8_t* vr) {
  static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
  for (const char* v : kLong)
    if (vr[0] == v[0] && vr[1] == v[1]) return true;
  return false;
}

// DCMTK allocates an element's declared length before it reads the value, so every
// declared length is first checked against the bytes that follow it. Sequences and
// their items are stepped into, so that nested elements are checked too.
bool declaredLengthsFit(const uint8_t* d, size_t n, QString& error) {
  enum { ExplicitLE, ImplicitLE, ExplicitBE } encoding = ExplicitLE;
  bool meta = true, fragments = false;
  QByteArray syntax;
  size_t at = 132;
  while (at + 8 <= n) {
    if (meta && rd16(d + at, true) != 0x0002) {
      meta = false;
      while (!syntax.isEmpty() && (syntax.back() == '\0' || syntax.back() == ' ')) syntax.chop(1);
      if (syntax == UID_LittleEndianImplicitTransferSyntax) {
        encoding = ImplicitLE;
      } else if (syntax == UID_BigEndianExplicitTransferSyntax) {
        encoding = ExplicitBE;
      } else if (syntax == UID_DeflatedExplicitVRLittleEndianTransferSyntax) {
        error = "Deflated DICOM files are not supported";
        return false;
      } else if (syntax.isEmpty()) {
        const bool letters = d[at + 4] >= 'A' && d[at + 4] <= 'Z' && d[at + 5] >= 'A' && d[at + 5] <= 'Z';
        encoding = letters ? ExplicitLE : ImplicitLE;
      }
    }
    const bool le = meta || encoding != ExplicitBE;
    const uint16_t group = rd16(d + at, le), element = rd16(d + at + 2, le);
    uint32_t length = 0;
    bool sequence = false;
    if (group == 0xFFFE || (!meta && encoding == ImplicitLE)) {
      length = rd32(d + at + 4, le);
      if (group != 0xFFFE)
        sequence = length == DCM_UndefinedLength || DcmTag(DcmTagKey(group, element)).getEVR() == EVR_SQ;
      at += 8;
    } else if (hasLongLength(d + at + 4)) {
      if (at + 12 > n) break;
      sequence = (d[at + 4] == 'S' && d[at + 5] == 'Q') ||
                 (d[at + 4] == 'U' && d[at + 5] == 'N' && rd32(d + at + 8, le) == DCM_UndefinedLength);
      length = rd32(d + at + 8, le);
      at += 12;
    } else {
      length = rd16(d + at + 6, le);
      at += 8;
    }
    if (group == 0xFFFE) {
      if (element == 0xE0DD) fragments = false;
      if (element != 0xE000 || !fragments) continue;  // items of a sequence hold elements
    } else if (group == 0x7FE0 && element == 0x0010 && length == DCM_UndefinedLength) {
      fragments = true;  // compressed pixel data: items of raw bytes follow
      continue;
    } else if (sequence || length == DCM_UndefinedLength) {
      continue;
    }
    if (length > n - at) {
      error = QString("The file is too short for the data it declares (%1 bytes at offset %2)").arg(length).arg(at);
      return false;
    }
    if (meta && group == 0x0002 && element == 0x0010)
      syntax = QByteArray(reinterpret_cast<const char*>(d + at), qsizetype(length));
    at += length;
  }
  return true;
}

bool isJ2k(E_TransferSyntax xfer) {
  return xfer == EXS_JPEG2000 || xfer == EXS_JPEG2000LosslessOnly || xfer == EXS_JPEG2000Multicomponent ||
         xfer == EXS_JPEG2000MulticomponentLosslessOnly;
}

// The code stream of the first frame: all fragments of a single frame, else those before
// the second frame's offset in the basic offset table, else the first of one per frame.
bool firstFrameCode(DcmPixelSequence& sequence, Sint32 frames, QByteArray& code, QString& error) {
  const unsigned long items = sequence.card();
  DcmPixelItem* item = nullptr;
  uint64_t end = UINT64_MAX;  // offset of the second frame from the first fragment
  if (frames > 1) {
    Uint8* table = nullptr;
    if (sequence.getItem(item, 0).good() && item->getLength() >= 8 && item->getUint8Array(table).good() && table) {
      Uint32 second = 0;
      std::memcpy(&second, table + 4, 4);
      end = second;
    } else if (items - 1 == static_cast<unsigned long>(frames)) {
      end = 1;  // just the first fragment
    } else {
      error = "The compressed frames of the DICOM file cannot be told apart";
      return false;
    }
  }
  uint64_t at = 0;
  for (unsigned long i = 1; i < items && at < end; ++i) {
    Uint8* bytes = nullptr;
    if (sequence.getItem(item, i).bad() || !item) break;
    const Uint32 length = item->getLength();
    if (length > 0 && (item->getUint8Array(bytes).bad() || !bytes)) break;
    code.append(reinterpret_cast<const char*>(bytes), qsizetype(length));
    at += uint64_t(length) + 8;
  }
  if (code.isEmpty()) {
    error = "The compressed pixel data of the DICOM file is incomplete";
    return false;
  }
  return true;
}

// Decodes the first JPEG 2000 frame and puts it back as native pixel data, so that the
// rest of reading treats it like any uncompressed image.
bool decodeJ2kFrame(DcmDataset& ds, E_TransferSyntax xfer, QString& error) {
  DcmElement* element = nullptr;
  DcmPixelSequence* sequence = nullptr;
  if (ds.findAndGetElement(DCM_PixelData, element).bad() || !element ||
      static_cast<DcmPixelData*>(element)->getEncapsulatedRepresentation(xfer, nullptr, sequence).bad() ||
      !sequence) {
    error = "The compressed pixel data of the DICOM file is incomplete";
    return false;
  }
  Sint32 frames = 1;
  if (ds.findAndGetSint32(DCM_NumberOfFrames, frames).bad()) frames = 1;
  QByteArray code;
  if (!firstFrameCode(*sequence, frames, code, error)) return false;
  J2kSamples samples;
  if (!decodeJ2k(reinterpret_cast<const uint8_t*>(code.constData()), size_t(code.size()),
                 uint16Of(ds, DCM_Columns, 0), uint16Of(ds, DCM_Rows, 0), uint16Of(ds, DCM_SamplesPerPixel, 1),
                 samples, error))
    return false;
  const bool deep = samples.bits > 8;
  ds.findAndDeleteElement(DCM_PixelData);
  ds.putAndInsertUint16(DCM_BitsAllocated, deep ? 16 : 8);
  ds.putAndInsertUint16(DCM_BitsStored, Uint16(samples.bits));
  ds.putAndInsertUint16(DCM_HighBit, Uint16(samples.bits - 1));
  ds.putAndInsertUint16(DCM_PixelRepresentation, samples.isSigned ? 1 : 0);
  ds.putAndInsertString(DCM_NumberOfFrames, "1");
  if (samples.components == 3) {  // the decoder undoes the component transform
    ds.putAndInsertString(DCM_PhotometricInterpretation, "RGB");
    ds.putAndInsertUint16(DCM_PlanarConfiguration, 0);
  }
  insertNativePixels(ds, samples.data.data(), samples.data.size(), deep);
  return true;
}

}  // namespace

bool readDicom(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  if (size < 132 || std::memcmp(data + 128, "DICM", 4) != 0) {
    error = "Not a DICOM file";
    return false;
  }
  prepareDcmtk();
  if (!dictionaryReady(error) || !declaredLengthsFit(data, size, error)) return false;

  DcmInputBufferStream stream;
  stream.setBuffer(data, offile_off_t(size));
  stream.setEos();
  DcmFileFormat file;
  file.transferInit();
  const OFCondition read = file.read(stream, EXS_Unknown, EGL_noChange, DCM_MaxReadLength);
  file.transferEnd();
  if (read.bad()) {
    error = QString("Invalid DICOM data: %1").arg(read.text());
    return false;
  }
  DcmDataset& ds = *file.getDataset();
  const E_TransferSyntax xfer = ds.getOriginalXfer();
  const DcmXfer syntax(xfer);
  if (!checkPixelData(ds, xfer, size, error)) return false;
  if (isJ2k(xfer) && !decodeJ2kFrame(ds, xfer, error)) return false;

  DicomImage dicom(&ds, isJ2k(xfer) ? EXS_LittleEndianExplicit : xfer, CIF_UsePartialAccessToPixelData, 0, 1);
  if (dicom.getStatus() != EIS_Normal) {
    error = QString("Cannot decode the DICOM image: %1").arg(DicomImage::getString(dicom.getStatus()));
    return false;
  }
  const Uint16 stored = uint16Of(ds, DCM_BitsStored, 8);
  const Uint16 spp = uint16Of(ds, DCM_SamplesPerPixel, 1);
  // Deep data keeps 16 bits; a window stored in the file is how its author meant the
  // image to be seen, otherwise the stored range maps linearly onto the output.
  const int bits = stored > 8 ? 16 : 8;
  if (dicom.isMonochrome() && dicom.getWindowCount() > 0) dicom.setWindow(0);
  Bitmap image = bitmapFrom(dicom, bits);
  if (image.isNull()) {
    error = "Cannot decode the DICOM image";
    return false;
  }
  params.BitsPerSample = stored;
  params.SamplesPerPixel = spp;
  readSpacing(ds, params);
  // The compression a resave keeps; lossless kinds we cannot write save uncompressed.
  if (xfer == EXS_RLELossless)
    params.DICOM_Compression = DicomCompression::RLE;
  else if (isJ2k(xfer))
    params.DICOM_Compression = syntax.isLossy() ? DicomCompression::JPEG2000 : DicomCompression::LosslessJPEG2000;
  else if (syntax.isEncapsulated() && syntax.isLossy())
    params.DICOM_Compression = DicomCompression::JPEG;
  else
    params.DICOM_Compression = DicomCompression::Uncompressed;
  out = std::move(image);
  return true;
}

namespace {

// The attributes of a Secondary Capture image apart from the pixels.
void putIdentity(DcmDataset& ds) {
  char uid[100];
  ds.putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
  ds.putAndInsertString(DCM_SOPInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
  ds.putAndInsertString(DCM_StudyInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_STUDY_UID_ROOT));
  ds.putAndInsertString(DCM_SeriesInstanceUID, dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
  ds.putAndInsertString(DCM_Modality, "OT");
  ds.putAndInsertString(DCM_ConversionType, "WSD");
  for (const DcmTagKey& empty : {DCM_PatientName, DCM_PatientID, DCM_PatientBirthDate, DCM_PatientSex, DCM_StudyDate,
                                 DCM_StudyTime, DCM_ReferringPhysicianName, DCM_StudyID, DCM_AccessionNumber,
                                 DCM_SeriesNumber, DCM_InstanceNumber, DCM_PatientOrientation})
    ds.putAndInsertString(empty, "");
}

// The image attributes, and the samples in DICOM's layout: grey as it is, colour as
// interleaved red, green, blue, padded to an even length. Alpha has no place in DICOM.
ByteBuffer putImageAttributes(DcmDataset& ds, const Bitmap& image, const IOParams& params) {
  const bool grey = image.format() == PixelFormat::ie8g || image.format() == PixelFormat::ie16g;
  const bool deep = image.format() == PixelFormat::ie16g || image.format() == PixelFormat::ie48RGB;
  const int w = image.width(), h = image.height();
  const size_t rowBytes = Bitmap::rowLength(w, image.format(), 8);
  ds.putAndInsertUint16(DCM_SamplesPerPixel, grey ? 1 : 3);
  ds.putAndInsertString(DCM_PhotometricInterpretation, grey ? "MONOCHROME2" : "RGB");
  if (!grey) ds.putAndInsertUint16(DCM_PlanarConfiguration, 0);
  ds.putAndInsertUint16(DCM_Rows, Uint16(h));
  ds.putAndInsertUint16(DCM_Columns, Uint16(w));
  ds.putAndInsertUint16(DCM_BitsAllocated, deep ? 16 : 8);
  ds.putAndInsertUint16(DCM_BitsStored, deep ? 16 : 8);
  ds.putAndInsertUint16(DCM_HighBit, deep ? 15 : 7);
  ds.putAndInsertUint16(DCM_PixelRepresentation, 0);
  const QString spacing = QString("%1\\%2").arg(25.4 / std::max(1, params.DpiY), 0, 'g', 8)
                              .arg(25.4 / std::max(1, params.DpiX), 0, 'g', 8);
  ds.putAndInsertString(DCM_NominalScannedPixelSpacing, spacing.toLatin1().constData());

  const size_t total = rowBytes * size_t(h);
  ByteBuffer bytes(total + (total & 1));  // values have even length
  if (total & 1) bytes[total] = 0;
  for (int y = 0; y < h; ++y) {
    copyRow(image.scanline(y), bytes.data() + rowBytes * size_t(y), w, rowBytes,
            image.format() == PixelFormat::ie24RGB);
  }
  return bytes;
}

// JPEG 2000 pixel data: an empty offset table and the code stream as one fragment.
bool putJ2kPixels(DcmDataset& ds, ByteBuffer&& samples, const Bitmap& image, bool lossless, int quality,
                  QString& error) {
  J2kSamples s;
  s.width = image.width();
  s.height = image.height();
  s.components = image.format() == PixelFormat::ie8g || image.format() == PixelFormat::ie16g ? 1 : 3;
  s.bits = image.format() == PixelFormat::ie16g || image.format() == PixelFormat::ie48RGB ? 16 : 8;
  s.data = std::move(samples);
  QByteArray code;
  if (!encodeJ2k(s, lossless, quality, code, error)) return false;
  if (code.size() & 1) code.append('\0');
  if (s.components == 3) ds.putAndInsertString(DCM_PhotometricInterpretation, lossless ? "YBR_RCT" : "YBR_ICT");
  if (!lossless) {
    ds.putAndInsertString(DCM_LossyImageCompression, "01");
    ds.putAndInsertString(DCM_LossyImageCompressionMethod, "ISO_15444_1");
  }
  auto* sequence = new DcmPixelSequence(DcmTag(DCM_PixelSequenceTag));
  sequence->insert(new DcmPixelItem(DcmTag(DCM_Item, EVR_OB)));
  auto* fragment = new DcmPixelItem(DcmTag(DCM_Item, EVR_OB));
  fragment->putUint8Array(reinterpret_cast<const Uint8*>(code.constData()), static_cast<unsigned long>(code.size()));
  sequence->insert(fragment);
  auto* pixels = new DcmPixelData(DCM_PixelData);
  pixels->putOriginalRepresentation(lossless ? EXS_JPEG2000LosslessOnly : EXS_JPEG2000, nullptr, sequence);
  ds.insert(pixels, true);
  return true;
}

}  // namespace

// Write rules: 1-bit and palette images are written as 8-bit grey or RGB, other formats
// as RGB; 16-bit grey and 48-bit RGB keep their depth except for JPEG baseline, which stores 8
// bits per sample as the JPEG writer does. Alpha is not stored.
bool writeDicom(const Bitmap& source, const IOParams& params, const QString& /*extension*/, QByteArray& out,
                QString& error) {
  if (source.width() > 65535 || source.height() > 65535) {
    error = "DICOM images cannot be wider or higher than 65535 pixels";
    return false;
  }
  E_TransferSyntax xfer = EXS_LittleEndianExplicit;
  switch (params.DICOM_Compression) {
    case DicomCompression::Uncompressed: break;
    case DicomCompression::RLE: xfer = EXS_RLELossless; break;
    case DicomCompression::JPEG: xfer = EXS_JPEGProcess1; break;
    case DicomCompression::JPEG2000: xfer = EXS_JPEG2000; break;
    case DicomCompression::LosslessJPEG2000: xfer = EXS_JPEG2000LosslessOnly; break;
    default:
      error = QString("Unknown DICOM compression %1").arg(int(params.DICOM_Compression));
      return false;
  }
  prepareDcmtk();
  if (!dictionaryReady(error)) return false;

  Bitmap image;
  const bool jpeg = xfer == EXS_JPEGProcess1;
  switch (source.format()) {
    case PixelFormat::ie8g: image = source; break;
    case PixelFormat::ie16g: image = jpeg ? convertPixelFormat(source, PixelFormat::ie8g) : source; break;
    case PixelFormat::ie1g: image = convertPixelFormat(source, PixelFormat::ie8g); break;
    case PixelFormat::ie48RGB: image = jpeg ? convertToRGB24(source) : source; break;
    default: image = convertToRGB24(source);
  }

  DcmFileFormat file;
  DcmDataset& ds = *file.getDataset();
  putIdentity(ds);
  ByteBuffer samples = putImageAttributes(ds, image, params);
  const bool deep = image.format() == PixelFormat::ie16g || image.format() == PixelFormat::ie48RGB;
  if (xfer == EXS_JPEG2000 || xfer == EXS_JPEG2000LosslessOnly) {
    if (!putJ2kPixels(ds, std::move(samples), image, xfer == EXS_JPEG2000LosslessOnly, params.DICOM_JPEGQuality,
                      error))
      return false;
  } else {
    insertNativePixels(ds, samples.data(), samples.size(), deep);
  }
  if (xfer == EXS_RLELossless || xfer == EXS_JPEGProcess1) {
    const DJ_RPLossy lossy(std::clamp(params.DICOM_JPEGQuality, 1, 100));
    const OFCondition c = ds.chooseRepresentation(xfer, jpeg ? &lossy : nullptr);
    if (c.bad() || !ds.canWriteXfer(xfer)) {
      error = QString("Cannot compress the DICOM image: %1").arg(c.bad() ? c.text() : "no encoder");
      return false;
    }
  }

  QByteArray bytes;
  char buffer[65536];
  DcmOutputBufferStream stream(buffer, sizeof buffer);
  file.transferInit();
  OFCondition c;
  do {
    c = file.write(stream, xfer, EET_ExplicitLength, nullptr);
    void* chunk = nullptr;
    offile_off_t length = 0;
    stream.flushBuffer(chunk, length);
    bytes.append(static_cast<const char*>(chunk), qsizetype(length));
  } while (c == EC_StreamNotifyClient);
  file.transferEnd();
  if (c.bad()) {
    error = QString("Cannot write the DICOM file: %1").arg(c.text());
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
