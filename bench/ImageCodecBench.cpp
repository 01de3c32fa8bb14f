// Saving and loading a 24-megapixel photo as JPEG and PNG, against libjpeg-turbo and
// libpng called directly on the same pixels with the same settings in the same run, and
// the memory a JPEG load takes on top of the image it makes.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "BenchReport.h"
#include "engine/io/ImageFile.h"
#include "platform/PixelMemory.h"

extern char** environ;

using namespace lumo;

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int kJpegQuality = 85;
constexpr int kPngLevel = 6;

int failures = 0;

void report(const char* name, double value, const char* unit, const char* op, double target) {
  bench::report(name, value, unit, op, target);
  const bool met = std::strcmp(op, "<=") == 0 ? value <= target : value >= target;
  if (!met) ++failures;
}

// Seconds of processor time of the whole process, kernel time for page faults included:
// the machines these run on are shared, and time spent waiting for a core is nobody's
// codec. A codec that split its work over threads would gain nothing here.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Fewest seconds of `runs` calls of each of `a` and `b`, taken in turns so that both see
// the same state of the machine.
template <class A, class B>
std::pair<double, double> fastestInTurns(int runs, A&& a, B&& b) {
  double bestA = 1e30, bestB = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = cpuSeconds();
    a();
    bestA = std::min(bestA, cpuSeconds() - t0);
    t0 = cpuSeconds();
    b();
    bestB = std::min(bestB, cpuSeconds() - t0);
  }
  return {bestA, bestB};
}

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::exit(1);
}

// The wallpaper scaled up without grain: a smooth photo, as the JPEG figures are quoted for.
Bitmap smoothPhoto() {
  static const char* kPhoto = "/usr/share/wallpapers/Path/contents/images/2560x1600.jpg";
  const QImage photo(QString::fromLatin1(kPhoto));
  if (photo.isNull()) die("missing the wallpaper photo (Debian package plasma-workspace-wallpapers)");
  const QImage big = photo.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_BGR888);
  Bitmap b(kWidth, kHeight, PixelFormat::ie24RGB);
  for (int y = 0; y < kHeight; ++y) std::memcpy(b.mutableScanline(y), big.constScanLine(y), size_t(kWidth) * 3);
  return b;
}

std::vector<JSAMPROW> rowPointers(uint8_t* bits, size_t rowBytes, int height) {
  std::vector<JSAMPROW> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) rows[size_t(y)] = bits + rowBytes * size_t(y);
  return rows;
}

// libjpeg-turbo with the writer's settings spelled out: slow integer DCT, 4:2:0, no
// Huffman optimisation, one call for all rows. Returns the size of the file.
size_t directJpegEncode(const Bitmap& image) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&c, &buffer, &length);
  c.image_width = JDIMENSION(image.width());
  c.image_height = JDIMENSION(image.height());
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, kJpegQuality, TRUE);
  c.dct_method = JDCT_ISLOW;
  c.optimize_coding = FALSE;
  c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 2;
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPROW> rows = rowPointers(const_cast<uint8_t*>(image.bits()), image.rowBytes(), image.height());
  jpeg_write_scanlines(&c, rows.data(), c.image_height);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return length;
}

// Blue-green-red rows in the platform's pixel memory, left uninitialised, as a decoder
// would write into it: the page cost of a fresh plane is then the same on both sides
// and the figure compares the codecs.
struct PixelBlock {
  uint8_t* p = nullptr;
  size_t n = 0;
  explicit PixelBlock(size_t bytes) : p(static_cast<uint8_t*>(allocatePixelMemory(bytes))), n(bytes) {}
  PixelBlock(const PixelBlock&) = delete;
  PixelBlock& operator=(const PixelBlock&) = delete;
  ~PixelBlock() { freePixelMemory(p, n); }
};

// libjpeg-turbo's defaults (slow integer DCT, smooth upsampling), as many rows per call
// as the library takes.
std::unique_ptr<PixelBlock> directJpegDecode(const QByteArray& bytes) {
  jpeg_decompress_struct d;
  jpeg_error_mgr e;
  d.err = jpeg_std_error(&e);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGR;
  d.dct_method = JDCT_ISLOW;
  d.do_fancy_upsampling = TRUE;
  jpeg_start_decompress(&d);
  const size_t rowBytes = size_t(d.output_width) * 3;
  auto pixels = std::make_unique<PixelBlock>(rowBytes * d.output_height);
  std::vector<JSAMPROW> rows = rowPointers(pixels->p, rowBytes, int(d.output_height));
  while (d.output_scanline < d.output_height)
    jpeg_read_scanlines(&d, rows.data() + d.output_scanline, d.output_height - d.output_scanline);
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return pixels;
}

void appendPng(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// libpng with the writer's settings spelled out: every filter, zlib level 6 with the
// filtered strategy, 8-bit RGB from blue-green-red rows, the same resolution chunk.
std::vector<uint8_t> directPngEncode(const Bitmap& image) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) die("libpng failed");
  png_set_write_fn(png, &out, appendPng, nullptr);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
  png_set_compression_level(png, kPngLevel);
  png_set_compression_strategy(png, Z_FILTERED);
  png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, png_uint_32(96 / 0.0254 + 0.5), png_uint_32(96 / 0.0254 + 0.5), PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_set_bgr(png);
  std::vector<JSAMPROW> rows = rowPointers(const_cast<uint8_t*>(image.bits()), image.rowBytes(), image.height());
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// One field of /proc/self/status in kB, read without touching the heap.
long statusKb(const char* field) {
  char text[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  const ssize_t n = fd < 0 ? -1 : read(fd, text, sizeof text - 1);
  if (fd >= 0) close(fd);
  if (n <= 0) die("cannot read /proc/self/status");
  text[n] = 0;
  const char* at = std::strstr(text, field);
  return at ? std::strtol(at + std::strlen(field) + 1, nullptr, 10) : -1;
}

// The peak of resident memory during one load of `path`, above the level just before it,
// in a fresh process (see runPeakChild). "decode" has the file's bytes in memory already;
// "load" maps the file as opening it does, so its pages count as well.
int peakChild(const char* mode, const char* path) {
  QFile f(QString::fromLocal8Bit(path));
  if (!f.open(QIODevice::ReadOnly)) die("cannot read the JPEG");
  const bool fromMemory = std::strcmp(mode, "decode") == 0;
  const QByteArray bytes = fromMemory ? f.readAll() : QByteArray();
  f.close();
  {  // a small load first, so that first-use costs (code pages, library tables) stay out
    Bitmap small(64, 64, PixelFormat::ie24RGB);
    QByteArray jpeg;
    IOParams p;
    if (!encodeImage(QStringLiteral("jpg"), small, p, jpeg, nullptr) ||
        !decodeImage(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()), QString(), small, p,
                     nullptr))
      die("the warm-up load failed");
  }
  malloc_trim(0);
  const int fd = open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0 || write(fd, "5", 1) != 1) die("cannot reset the peak of resident memory");
  close(fd);
  const long before = statusKb("VmRSS:");
  Bitmap image;
  IOParams params;
  const bool ok = fromMemory ? decodeImage(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                                           QStringLiteral("bench.jpg"), image, params, nullptr)
                             : loadImageFile(QString::fromLocal8Bit(path), image, params, nullptr);
  const long peak = statusKb("VmHWM:");
  if (!ok || image.width() != kWidth) die("the peak-memory load failed");
  const double ratio = double(peak - before) * 1024.0 / double(image.byteCount());
  std::printf("%s: resident %ld kB before, peak %ld kB, image %zu kB\n", mode, before, peak, image.byteCount() / 1024);
  report(fromMemory ? "jpeg_decode_peak_memory_vs_image" : "jpeg_load_file_peak_memory_vs_image", ratio, "ratio",
         "<=", 1.25);
  return failures ? 1 : 0;
}

// Resident memory only tells allocations apart in a process whose heap holds no freed
// pages that a load could quietly reuse, so each measurement runs in a new process.
void runPeakChild(const char* mode, const QString& file) {
  const QByteArray path = file.toLocal8Bit();
  char self[] = "/proc/self/exe", flag[] = "--peak";
  std::vector<char*> argv = {self, flag, const_cast<char*>(mode), const_cast<char*>(path.constData()), nullptr};
  std::fflush(stdout);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv.data(), environ) != 0) die("cannot start myself");
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return peakChild(argv[2], argv[3]);

  std::printf("making a smooth %d x %d photo...\n", kWidth, kHeight);
  const Bitmap photo = smoothPhoto();
  const double megapixels = double(kWidth) * kHeight / 1e6;

  // JPEG, quality 85, baseline, orientation 1.
  IOParams jpegParams;
  jpegParams.JPEG_Quality = kJpegQuality;
  QByteArray jpeg;
  QString error;
  size_t directSize = 0;
  const auto [ourEncode, directEncode] = fastestInTurns(
      7,
      [&] {
        if (!encodeImage(QStringLiteral("jpg"), photo, jpegParams, jpeg, &error)) die(qPrintable(error));
      },
      [&] { directSize = directJpegEncode(photo); });

  Bitmap decoded;
  IOParams readParams;
  std::unique_ptr<PixelBlock> directPixels;
  const auto [ourDecode, directDecode] = fastestInTurns(
      7,
      [&] {
        decoded = Bitmap();  // each side makes its plane afresh
        if (!decodeImage(reinterpret_cast<const uint8_t*>(jpeg.constData()), size_t(jpeg.size()),
                         QStringLiteral("bench.jpg"), decoded, readParams, &error))
          die(qPrintable(error));
      },
      [&] {
        directPixels.reset();
        directPixels = directJpegDecode(jpeg);
      });
  for (int y = 0; y < kHeight; ++y)
    if (std::memcmp(decoded.scanline(y), directPixels->p + size_t(y) * kWidth * 3, size_t(kWidth) * 3) != 0)
      die("our JPEG decode differs from libjpeg-turbo's with the same settings");
  std::printf("jpeg: %zu bytes (direct %zu); encode %.3f s (direct %.3f s), decode %.3f s = %.0f MP/s (direct %.3f s)\n",
              size_t(jpeg.size()), directSize, ourEncode, directEncode, ourDecode, megapixels / ourDecode, directDecode);
  report("jpeg_encode_24mp", ourEncode * 1000, "ms", "<=", directEncode * 1000 * 1.1);
  report("jpeg_encode_vs_libjpeg", ourEncode / directEncode, "ratio", "<=", 1.1);
  report("jpeg_size_vs_libjpeg", double(jpeg.size()) / double(directSize), "ratio", "<=", 1.01);
  report("jpeg_decode_24mp", ourDecode * 1000, "ms", "<=", directDecode * 1000 * 1.1);
  report("jpeg_decode_vs_libjpeg", ourDecode / directDecode, "ratio", "<=", 1.1);

  // PNG, level 6.
  IOParams pngParams;
  pngParams.PNG_Compression = kPngLevel;
  QByteArray png;
  std::vector<uint8_t> directPng;
  const auto [ourPng, directPngT] = fastestInTurns(
      4,
      [&] {
        if (!encodeImage(QStringLiteral("png"), photo, pngParams, png, &error)) die(qPrintable(error));
      },
      [&] { directPng = directPngEncode(photo); });
  std::printf("png: %zu bytes (direct %zu); save %.3f s (direct %.3f s)\n", size_t(png.size()), directPng.size(), ourPng,
              directPngT);
  report("png_save_level6_24mp", ourPng * 1000, "ms", "<=", directPngT * 1000 * 1.1);
  report("png_save_vs_libpng", ourPng / directPngT, "ratio", "<=", 1.1);
  report("png_size_vs_libpng", double(png.size()) / double(directPng.size()), "ratio", "<=", 1.01);

  // Peak memory of loading the JPEG, each way in a process of its own.
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("bench.jpg"));
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size()) die("cannot write the JPEG");
  out.close();
  runPeakChild("decode", file);
  runPeakChild("load", file);
  return failures ? 1 : 0;
}
