// PDF documents: the first page is rendered with poppler; writing makes a one-page
// document through Qt's PDF writer.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <QBuffer>
#include <QByteArrayView>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "engine/io/ImageCodecs.h"
#include "engine/pixels/QImageBridge.h"

namespace lumo {

namespace {

// A page without a single picture on it renders at this resolution ...
constexpr double kDefaultDpi = 150.0;
// ... and no page renders to more pixels than this.
constexpr double kMaxRenderPixels = double(1 << 26);

void ignorePopplerMessage(const std::string&, void*) {}

// The integer after `key` in `dict`, or -1.
long long numberAfter(QByteArrayView dict, const char* key) {
  const qsizetype at = dict.indexOf(QByteArrayView(key));
  if (at < 0) return -1;
  qsizetype i = at + qsizetype(std::strlen(key));
  while (i < dict.size() && (dict[i] == ' ' || dict[i] == '\n' || dict[i] == '\r' || dict[i] == '\t')) ++i;
  long long v = 0;
  const qsizetype start = i;
  while (i < dict.size() && dict[i] >= '0' && dict[i] <= '9' && v < (1LL << 40)) v = v * 10 + (dict[i++] - '0');
  return i > start ? v : -1;
}

// The pixel size of the document's pictures when they all have one size (a scan, an
// exported photo and its transparency mask), found in image dictionaries stored as
// plain text. Nothing when there are none, several sizes or compressed object streams.
std::optional<std::pair<long long, long long>> singleImageSize(QByteArrayView bytes) {
  constexpr qsizetype kReach = 2048;  // of a dictionary around its /Subtype
  std::set<std::pair<long long, long long>> sizes;
  for (const char* subtype : {"/Subtype /Image", "/Subtype/Image"}) {
    for (qsizetype at = bytes.indexOf(QByteArrayView(subtype)); at >= 0;
         at = bytes.indexOf(QByteArrayView(subtype), at + 1)) {
      // The dictionary lies between the object's start and its stream.
      QByteArrayView before = bytes.sliced(std::max<qsizetype>(0, at - kReach), std::min(at, kReach));
      const qsizetype objAt = before.lastIndexOf(QByteArrayView(" obj"));
      if (objAt >= 0) before = before.sliced(objAt);
      QByteArrayView after = bytes.sliced(at, std::min(bytes.size() - at, kReach));
      const qsizetype streamAt = after.indexOf(QByteArrayView("stream"));
      if (streamAt >= 0) after = after.first(streamAt);
      const QByteArray dict = before.toByteArray() + after.toByteArray();
      const long long w = numberAfter(dict, "/Width"), h = numberAfter(dict, "/Height");
      if (w <= 0 || h <= 0) return std::nullopt;
      sizes.insert({w, h});
      if (sizes.size() > 1) return std::nullopt;
    }
  }
  if (sizes.size() != 1) return std::nullopt;
  return *sizes.begin();
}

}  // namespace

bool readPdf(const uint8_t* data, size_t size, Bitmap& out, IOParams& params, QString& error) {
  if (size < 5 || std::memcmp(data, "%PDF-", 5) != 0) {
    error = "Not a PDF file";
    return false;
  }
  if (size > size_t(INT_MAX)) {
    error = "The PDF file is too large";
    return false;
  }
  poppler::set_debug_error_function(ignorePopplerMessage, nullptr);
  std::unique_ptr<poppler::document> doc(
      poppler::document::load_from_raw_data(reinterpret_cast<const char*>(data), int(size)));
  if (!doc) {
    error = "Invalid PDF data";
    return false;
  }
  if (doc->is_locked()) {
    error = "The PDF file is protected by a password";
    return false;
  }
  if (doc->pages() < 1) {
    error = "The PDF file has no pages";
    return false;
  }
  std::unique_ptr<poppler::page> page(doc->create_page(0));
  if (!page) {
    error = "Invalid PDF data: the first page cannot be read";
    return false;
  }
  const poppler::rectf box = page->page_rect();
  double pageW = box.width(), pageH = box.height();  // points
  if (page->orientation() == poppler::page::landscape || page->orientation() == poppler::page::seascape)
    std::swap(pageW, pageH);
  if (!(pageW >= 1.0 && pageH >= 1.0) || pageW > 1e6 || pageH > 1e6) {
    error = "The first page of the PDF file has no usable size";
    return false;
  }

  // A page holding one picture renders at the picture's own resolution.
  double xres = kDefaultDpi, yres = kDefaultDpi;
  if (const auto picture = singleImageSize(QByteArrayView(data, qsizetype(size)))) {
    xres = double(picture->first) * 72.0 / pageW;
    yres = double(picture->second) * 72.0 / pageH;
  }
  const double pixels = (pageW * xres / 72.0) * (pageH * yres / 72.0);
  if (pixels > kMaxRenderPixels) {
    const double f = std::sqrt(kMaxRenderPixels / pixels);
    xres *= f;
    yres *= f;
  }
  if (pageW * xres / 72.0 < 1.0 || pageH * yres / 72.0 < 1.0) {
    error = "The first page of the PDF file has no usable size";
    return false;
  }

  poppler::page_renderer renderer;
  renderer.set_render_hint(poppler::page_renderer::antialiasing);
  renderer.set_render_hint(poppler::page_renderer::text_antialiasing);
  renderer.set_image_format(poppler::image::format_argb32);
  const poppler::image rendered = renderer.render_page(page.get(), xres, yres);
  if (!rendered.is_valid() || rendered.width() <= 0 || rendered.height() <= 0) {
    error = "The first page of the PDF file cannot be rendered";
    return false;
  }
  // The page is drawn on white paper, so the picture is opaque.
  const QImage view(reinterpret_cast<const uchar*>(rendered.const_data()), rendered.width(), rendered.height(),
                    rendered.bytes_per_row(), QImage::Format_RGB32);
  Bitmap image = fromQImage(view);
  if (image.isNull()) {
    error = "Out of memory";
    return false;
  }
  params.BitsPerSample = 8;
  params.SamplesPerPixel = 3;
  params.DpiX = std::max(1, int(std::lround(xres)));
  params.DpiY = std::max(1, int(std::lround(yres)));
  out = std::move(image);
  return true;
}

// Write rule: one page exactly as large as the image at its resolution (rounded to whole
// points), the image filling it, stored losslessly; alpha becomes the image's soft mask.
bool writePdf(const Bitmap& image, const IOParams& params, const QString& /*extension*/, QByteArray& out,
              QString& error) {
  const QImage picture = toQImage(image);
  if (picture.isNull()) {
    error = "Cannot convert the image for PDF";
    return false;
  }
  const int dpiX = std::clamp(params.DpiX, 1, 100000), dpiY = std::clamp(params.DpiY, 1, 100000);
  const double wPt = double(image.width()) * 72.0 / dpiX, hPt = double(image.height()) * 72.0 / dpiY;
  if (wPt > 14400.0 || hPt > 14400.0) {  // the largest page PDF readers accept (200 inches)
    error = "The image is too large for a PDF page at its resolution";
    return false;
  }
  const QSize points(std::max(1, int(std::lround(wPt))), std::max(1, int(std::lround(hPt))));

  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setCreator("Lumora");
    writer.setResolution(72);  // one device unit per point
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    if (!writer.setPageSize(QPageSize(points, QString(), QPageSize::ExactMatch))) {
      error = "Cannot set the PDF page size";
      return false;
    }
    QPainter painter;
    if (!painter.begin(&writer)) {
      error = "Cannot write the PDF document";
      return false;
    }
    painter.setRenderHint(QPainter::LosslessImageRendering);
    painter.drawImage(QRect(QPoint(0, 0), points), picture);
    painter.end();
  }
  if (bytes.isEmpty()) {
    error = "Cannot write the PDF document";
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace lumo
