#include "engine/render/ConvertToImage.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

#include "engine/pixels/PixelConvert.h"
#include "engine/pixels/QImageBridge.h"
#include "engine/render/VectorRaster.h"

namespace lumo {

namespace {

// Columns [left, right) and rows [top, bottom) that hold any ink; empty when none.
QRect inkedBox(const QImage& straight) {
  int left = straight.width(), right = 0, top = straight.height(), bottom = 0;
  for (int y = 0; y < straight.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
    int first = -1, last = -1;
    for (int x = 0; x < straight.width(); ++x)
      if (qAlpha(row[x])) {
        if (first < 0) first = x;
        last = x;
      }
    if (first < 0) continue;
    left = std::min(left, first), right = std::max(right, last + 1);
    top = std::min(top, y), bottom = y + 1;
  }
  return left < right ? QRect(left, top, right - left, bottom - top) : QRect();
}

// An inked span [from, to) of the picture, widened to whole display pixels, as
// [first, last) display pixels; a mirrored axis counts from the other end.
void displaySpan(int from, int to, int pictureSide, double scale, bool mirrored, int& first, int& last) {
  if (mirrored) std::tie(from, to) = std::pair(pictureSide - to, pictureSide - from);
  first = int(std::floor(from / scale + 1e-9));
  last = int(std::ceil(to / scale - 1e-9));
}

// A vector mask's picture as the grey levels the compositor reads from it, inversion
// included, so the image mask that replaces it hides and shows the same pixels.
Bitmap bakedMask(const QImage& straight, bool inverted) {
  Bitmap grey(straight.width(), straight.height(), PixelFormat::ie8g);
  for (int y = 0; y < straight.height(); ++y) {
    const auto* s = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
    uint8_t* d = grey.mutableScanline(y);
    for (int x = 0; x < straight.width(); ++x) {
      const uint32_t a = uint32_t(qAlpha(s[x]));
      const uint32_t over = luminance(uint8_t(qBlue(s[x])), uint8_t(qGreen(s[x])), uint8_t(qRed(s[x]))) * a +
                            255 * (255 - a);
      const auto level = uint8_t((over + 127) / 255);
      d[x] = inverted ? uint8_t(255 - level) : level;
    }
  }
  return grey;
}

}  // namespace

std::unique_ptr<ImageLayer> convertToImageLayer(const Layer& layer, double qualityFactor, bool cropTransparentBorder) {
  if (const auto* image = layerAs<ImageLayer>(&layer))
    return std::unique_ptr<ImageLayer>(static_cast<ImageLayer*>(image->clone().release()));
  if (!(qualityFactor > 0) || !std::isfinite(qualityFactor)) qualityFactor = 1.0;
  auto out = std::make_unique<ImageLayer>();
  out->assignCommon(layer);
  out->fFillOpacity = 1.0;  // already in the drawn fill's alpha
  out->Changed = true;
  const double width = std::round(layer.Width), height = std::round(layer.Height);
  QImage picture = rasterizeVectorLayer(layer, qualityFactor);
  if (picture.isNull()) {  // nothing to draw: an empty transparent layer of the same place
    out->setRect(QRectF(layer.PosX, layer.PosY, std::max(1.0, width), std::max(1.0, height)));
    out->bitmap = Bitmap(int(out->Width), int(out->Height), PixelFormat::ie24RGB);
    out->bitmap.addAlpha(0);
    out->bitmap.setAlphaFull(false);
    return out;
  }
  out->setRect(QRectF(layer.PosX, layer.PosY, width, height));
  const double sx = picture.width() / width, sy = picture.height() / height;

  // A mask keeps its whole rectangle: outside it the mask acts differently from its
  // transparent pixels.
  const QRect ink = cropTransparentBorder && !layer.fIsMask ? inkedBox(picture) : QRect();
  if (!ink.isEmpty()) {
    int left, right, top, bottom;
    displaySpan(ink.left(), ink.right() + 1, picture.width(), sx, layer.fFlip & 1, left, right);
    displaySpan(ink.top(), ink.bottom() + 1, picture.height(), sy, layer.fFlip & 2, top, bottom);
    int px0 = int(std::lround(left * sx)), px1 = int(std::lround(right * sx));
    int py0 = int(std::lround(top * sy)), py1 = int(std::lround(bottom * sy));
    if (layer.fFlip & 1) std::tie(px0, px1) = std::pair(picture.width() - px1, picture.width() - px0);
    if (layer.fFlip & 2) std::tie(py0, py1) = std::pair(picture.height() - py1, picture.height() - py0);
    picture = picture.copy(QRect(QPoint(px0, py0), QPoint(px1 - 1, py1 - 1)));
    // The centre of rotation stays where it was on the canvas.
    const double cx = layer.PosX + layer.fRotateCenterX * width, cy = layer.PosY + layer.fRotateCenterY * height;
    out->setRect(QRectF(layer.PosX + left, layer.PosY + top, right - left, bottom - top));
    out->fRotateCenterX = (cx - out->PosX) / out->Width;
    out->fRotateCenterY = (cy - out->PosY) / out->Height;
  }
  out->bitmap = layer.fIsMask ? bakedMask(picture, layer.fMaskInverted) : fromQImage(picture);
  return out;
}

bool convertLayerToImage(LayerStack& stack, int index, double qualityFactor, bool cropTransparentBorder) {
  if (stack.at(index).isImage()) return false;
  auto image = convertToImageLayer(stack.at(index), qualityFactor, cropTransparentBorder);
  stack.take(index);
  stack.insert(index, std::move(image));
  return true;
}

}  // namespace lumo
