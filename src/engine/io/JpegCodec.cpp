#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
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
  Bitmap image;  // declared before setjmp: only objects that outlive the jump are touched after it
  volatile bool created = false;
  if (setjmp(err.jump)) {
    if (created) jpeg_destroy_decompress(&cinfo);
    error = QString("Invalid JPEG data: %1").arg(err.message);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  created = true;
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
  image = Bitmap(int(cinfo.output_width), int(cinfo.output_height), format);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.mutableScanline(int(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
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
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  volatile bool created = false;
  if (setjmp(err.jump)) {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    error = QString("Cannot encode the JPEG image: %1").arg(err.message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  created = true;
  jpeg_mem_dest(&cinfo, &buffer, &length);
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
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.scanline(int(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  created = false;
  out = QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(length));
  std::free(buffer);
  return true;
}

}  // namespace lumo
