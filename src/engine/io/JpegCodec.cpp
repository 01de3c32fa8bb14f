#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/PixelConvert.h"

namespace lumo {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// A file that ends early decodes as grey padding in libjpeg; we treat it as the error it is.
void onMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) onError(cinfo);
}

void installErrors(jpeg_error_mgr* pub, ErrorManager& err) {
  jpeg_std_error(pub);
  pub->error_exit = onError;
  pub->emit_message = onMessage;
  err.message[0] = 0;
}

// Every scan of a progressive file is a pass over the whole image, and the format sets
// no bound on their number: a small file of thousands of tiny scans would hold the reader
// for minutes. Real encoders write about ten; a generous script stays far below this.
constexpr int kMaxScans = 1000;

// Called by libjpeg before it reads each further piece of input, so also after each scan
// header it has read.
void limitScans(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans) return;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::snprintf(err->message, sizeof err->message, "the file has more than %d scans", kMaxScans);
  std::longjmp(err->jump, 1);
}

// Compressed bytes go straight into the output array, which starts small and doubles
// whenever libjpeg fills it: growing in place is cheaper than guessing the size, since
// a generous guess costs fresh pages on every save.
struct ArrayDestination {
  jpeg_destination_mgr pub;
  QByteArray* bytes;
};

void pointPastUsed(ArrayDestination* dest, qsizetype used) {
  dest->pub.next_output_byte = reinterpret_cast<JOCTET*>(dest->bytes->data()) + used;
  dest->pub.free_in_buffer = size_t(dest->bytes->size() - used);
}

void startArray(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<ArrayDestination*>(cinfo->dest);
  dest->bytes->resize(65536);
  pointPastUsed(dest, 0);
}

boolean growArray(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<ArrayDestination*>(cinfo->dest);
  const qsizetype used = dest->bytes->size();
  dest->bytes->resize(used * 2);
  pointPastUsed(dest, used);
  return TRUE;
}

void endArray(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<ArrayDestination*>(cinfo->dest);
  dest->bytes->resize(dest->bytes->size() - qsizetype(dest->pub.free_in_buffer));
  dest->bytes->squeeze();
}

uint16_t rd16(const uint8_t* p, bool le) { return le ? uint16_t(p[0] | p[1] << 8) : uint16_t(p[0] << 8 | p[1]); }
uint32_t rd32(const uint8_t* p, bool le) {
  return le ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
            : uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The orientation tag of IFD0 in an APP1 "Exif" segment; 1 when absent or malformed.
int exifOrientation(const uint8_t* d, size_t n) {
  if (n < 14 || std::memcmp(d, "Exif\0\0", 6) != 0) return 1;
  const uint8_t* t = d + 6;
  const size_t tn = n - 6;
  bool le;
  if (!std::memcmp(t, "II*\0", 4)) le = true;
  else if (!std::memcmp(t, "MM\0*", 4)) le = false;
  else return 1;
  const uint32_t ifd = rd32(t + 4, le);
  if (ifd > tn || tn - ifd < 2) return 1;
  const uint16_t count = rd16(t + ifd, le);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = size_t(ifd) + 2 + size_t(i) * 12;
    if (at + 12 > tn) break;
    if (rd16(t + at, le) == 0x0112 && rd16(t + at + 2, le) == 3) {
      const int v = rd16(t + at + 8, le);
      return v >= 1 && v <= 8 ? v : 1;
    }
  }
  return 1;
}

}  // namespace

bool readJpeg(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  cinfo.err = &err.pub;
  installErrors(&err.pub, err);
  // Declared before setjmp: only objects that outlive the jump are touched after it.
  Bitmap image;
  ByteBuffer plane;
  std::vector<JSAMPROW> rows;
  jpeg_progress_mgr progress{};
  progress.progress_monitor = limitScans;
  volatile bool created = false;
  if (setjmp(err.jump)) {
    if (created) jpeg_destroy_decompress(&cinfo);
    error = QString("Invalid JPEG data: %1").arg(err.message);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  created = true;
  cinfo.progress = &progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&cinfo, TRUE);

  const int comps = cinfo.num_components;
  PixelFormat format;
  if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
    cinfo.out_color_space = JCS_GRAYSCALE;
    format = PixelFormat::ie8g;
  } else if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    cinfo.out_color_space = JCS_CMYK;
    format = PixelFormat::ieCMYK;
  } else {
    cinfo.out_color_space = JCS_EXT_BGR;  // the bitmap's own byte order
    format = PixelFormat::ie24RGB;
  }
  if (!checkDeclaredSize(cinfo.image_width, cinfo.image_height, comps, size, error)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  int orientation = 1;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next)
    if (m->marker == JPEG_APP0 + 1) {
      orientation = exifOrientation(m->data, m->data_length);
      break;
    }

  jpeg_start_decompress(&cinfo);
  // libjpeg writes every row straight into the plane, so the plane is not cleared first;
  // only the padding at the ends of the rows is.
  const int width = int(cinfo.output_width), height = int(cinfo.output_height);
  const size_t rowBytes = Bitmap::rowLength(width, format, 32);
  const size_t pixelBytes = size_t(width) * size_t(cinfo.output_components);
  plane.resize(rowBytes * size_t(height));
  rows.resize(size_t(height));
  for (int y = 0; y < height; ++y) {
    rows[size_t(y)] = plane.data() + rowBytes * size_t(y);
    std::memset(rows[size_t(y)] + pixelBytes, 0, rowBytes - pixelBytes);
  }
  while (cinfo.output_scanline < cinfo.output_height)
    jpeg_read_scanlines(&cinfo, rows.data() + cinfo.output_scanline, cinfo.output_height - cinfo.output_scanline);
  image = Bitmap::adoptRows(width, height, format, 32, std::move(plane), 0);
  // Adobe writes CMYK inverted (255 = no ink).
  const bool invert = format == PixelFormat::ieCMYK && cinfo.saw_Adobe_marker;
  const int xDensity = cinfo.X_density, yDensity = cinfo.Y_density, unit = cinfo.density_unit;
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  created = false;

  if (invert) {
    uint8_t* p = image.mutableBits();
    for (size_t i = 0; i < image.byteCount(); ++i) p[i] = uint8_t(255 - p[i]);
  }
  if (unit == 1 && xDensity > 0 && yDensity > 0) {
    params.DpiX = xDensity;
    params.DpiY = yDensity;
  } else if (unit == 2 && xDensity > 0 && yDensity > 0) {
    params.DpiX = int(xDensity * 2.54 + 0.5);
    params.DpiY = int(yDensity * 2.54 + 0.5);
  }
  params.BitsPerSample = 8;
  params.SamplesPerPixel = comps;
  params.Orientation = orientation;
  if (params.EnableAdjustOrientation) image = applyOrientation(image, orientation);
  out = std::move(image);
  return true;
}

bool writeJpeg(const Bitmap& source, const IOParams& params, const QString& /*extension*/,
               QByteArray& out, QString& error) {
  Bitmap image;
  if (source.format() == PixelFormat::ie8g || source.format() == PixelFormat::ie24RGB)
    image = source;
  else if (source.format() == PixelFormat::ie16g || source.format() == PixelFormat::ie1g)
    image = convertPixelFormat(source, PixelFormat::ie8g);
  else
    image = convertToRGB24(source);
  const bool grey = image.format() == PixelFormat::ie8g;

  jpeg_compress_struct cinfo;
  ErrorManager err;
  cinfo.err = &err.pub;
  installErrors(&err.pub, err);
  QByteArray bytes;
  std::vector<JSAMPROW> rows;
  ArrayDestination dest{{}, &bytes};
  dest.pub.init_destination = startArray;
  dest.pub.empty_output_buffer = growArray;
  dest.pub.term_destination = endArray;
  volatile bool created = false;
  if (setjmp(err.jump)) {
    if (created) jpeg_destroy_compress(&cinfo);
    error = QString("Cannot encode the JPEG image: %1").arg(err.message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  created = true;
  cinfo.dest = &dest.pub;
  cinfo.image_width = JDIMENSION(image.width());
  cinfo.image_height = JDIMENSION(image.height());
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, std::clamp(params.JPEG_Quality, 1, 100), TRUE);
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1;
  cinfo.X_density = UINT16(std::clamp(params.DpiX, 1, 65535));
  cinfo.Y_density = UINT16(std::clamp(params.DpiY, 1, 65535));
  rows.resize(size_t(image.height()));
  for (int y = 0; y < image.height(); ++y) rows[size_t(y)] = const_cast<JSAMPROW>(image.scanline(y));
  jpeg_start_compress(&cinfo, TRUE);
  jpeg_write_scanlines(&cinfo, rows.data(), cinfo.image_height);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  created = false;
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
