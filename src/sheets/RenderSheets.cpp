// lumo-render-sheets OUTDIR: writes shapes.png, pen_styles.png, line_ends.png,
// gradients.png, blend_operations.png and masks.png into OUTDIR. Runs without a display.
#include <cstdio>
#include <functional>
#include <memory>

#include <QDir>
#include <QGuiApplication>
#include <QPainter>

#include "engine/layers/LayerKinds.h"
#include "engine/render/BlendOps.h"
#include "engine/render/Compositor.h"
#include "engine/render/ShapePaths.h"
#include "engine/render/VectorRaster.h"

namespace lumo {
namespace {

constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000, kYellow = 0x00FFFF;
constexpr int kTile = 120, kLabel = 16;

// A sheet of `count` tiles in `columns` columns; `draw` paints tile i into its cell,
// which starts below the label.
QImage sheet(int count, int columns, const std::function<QString(int)>& label,
             const std::function<void(QPainter&, int, QRect)>& draw) {
  const int rows = (count + columns - 1) / columns;
  QImage out(columns * kTile, rows * (kTile + kLabel), QImage::Format_ARGB32);
  out.fill(Qt::white);
  QPainter p(&out);
  p.setFont(QFont("DejaVu Sans", 8));
  for (int i = 0; i < count; ++i) {
    const QRect cell((i % columns) * kTile, (i / columns) * (kTile + kLabel), kTile, kTile + kLabel);
    p.setPen(Qt::black);
    p.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignTop, label(i));
    draw(p, i, QRect(cell.x() + 10, cell.y() + kLabel, kTile - 20, kTile - 20));
  }
  return out;
}

// A transparent background layer of w × h pixels.
std::unique_ptr<ImageLayer> clearLayer(int w, int h) {
  auto layer = std::make_unique<ImageLayer>();
  layer->setRect(QRectF(0, 0, w, h));
  layer->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  layer->bitmap.addAlpha(0);
  layer->bitmap.setAlphaFull(false);
  return layer;
}

// An opaque image layer painted by `colour(x, y)` as 0xRRGGBB.
std::unique_ptr<ImageLayer> paintedLayer(int w, int h, const std::function<uint32_t(int, int)>& colour) {
  auto layer = std::make_unique<ImageLayer>();
  layer->setRect(QRectF(0, 0, w, h));
  layer->bitmap = Bitmap(w, h, PixelFormat::ie24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = layer->bitmap.mutableScanline(y);
    for (int x = 0; x < w; ++x) {
      const uint32_t c = colour(x, y);
      row[3 * x] = uint8_t(c), row[3 * x + 1] = uint8_t(c >> 8), row[3 * x + 2] = uint8_t(c >> 16);
    }
  }
  return layer;
}

void drawChecker(QPainter& p, QRect r) {
  for (int y = r.top(); y < r.bottom(); y += 8)
    for (int x = r.left(); x < r.right(); x += 8)
      p.fillRect(QRect(x, y, 8, 8).intersected(r),
                 ((x - r.left()) / 8 + (y - r.top()) / 8) % 2 ? Qt::lightGray : Qt::white);
}

QImage shapes() {
  return sheet(kShapeCount, 12, [](int i) { return QString::number(i); }, [](QPainter& p, int i, QRect r) {
    ShapeLayer s;
    s.setRect(QRectF(0, 0, r.width(), r.height()));
    s.fShape = uint8_t(i);
    s.fFillColor = kYellow;
    s.fBorderColor = kBlue;
    s.fBorderWidth = 2;
    p.drawImage(r.topLeft(), rasterizeVectorLayer(s));
  });
}

std::unique_ptr<LineLayer> line(QRect r) {
  auto l = std::make_unique<LineLayer>();
  l->setRect(QRectF(0, 0, r.width(), r.height()));
  l->fPoints = {DPoint{10, double(r.height() / 2)}, DPoint{double(r.width() - 10), double(r.height() / 2)}};
  l->fLineColor = kBlue;
  l->fLineFillColor = kYellow;
  return l;
}

QImage penStyles() {
  return sheet(7, 7, [](int i) { return "style " + QString::number(i); }, [](QPainter& p, int i, QRect r) {
    auto l = line(r);
    l->fLineStyle = uint8_t(i);
    l->fLineWidth = 3;
    p.drawImage(r.topLeft(), rasterizeVectorLayer(*l));
  });
}

QImage lineEnds() {
  return sheet(8, 8, [](int i) { return "end " + QString::number(i); }, [](QPainter& p, int i, QRect r) {
    auto l = line(r);
    l->fLineWidth = 2;
    l->fStartShape = l->fEndShape = uint8_t(i);
    l->fShapeSize = 20;
    l->fCurve = i % 2 ? 0.2 : 0;
    p.drawImage(r.topLeft(), rasterizeVectorLayer(*l));
  });
}

QImage gradients() {
  return sheet(17, 9, [](int i) { return "gradient " + QString::number(i); }, [](QPainter& p, int i, QRect r) {
    ShapeLayer s;
    s.setRect(QRectF(0, 0, r.width(), r.height()));
    s.fShape = 4;  // rectangle
    s.fFillColor = kRed;
    s.fFillColor2 = kBlue;
    s.fFillGradient = uint8_t(i);
    s.fBorderWidth = 1;
    p.drawImage(r.topLeft(), rasterizeVectorLayer(s));
  });
}

// Each operation draws a vertical rainbow with a fading alpha over a horizontal grey
// ramp with colour bars.
QImage blendOperations() {
  constexpr int kOperations = 44;
  return sheet(
      kOperations, 11, [](int i) { return QString(blendOperationName(RenderOperation(i))); },
      [](QPainter& p, int i, QRect r) {
        const int w = r.width(), h = r.height();
        LayerStack stack;
        stack.add(paintedLayer(w, h, [w, h](int x, int y) -> uint32_t {
          const uint32_t v = uint32_t(255 * x / (w - 1));
          if (y < h / 4) return x < w / 3 ? 0xFF0000 : x < 2 * w / 3 ? 0x00FF00 : 0x0000FF;
          return v << 16 | v << 8 | v;
        }));
        auto top = paintedLayer(w, h, [h](int, int y) -> uint32_t {
          return QColor::fromHsv(359 * y / h, 200, 230).rgb() & 0xFFFFFF;
        });
        top->bitmap.addAlpha(255);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            top->bitmap.mutableAlphaScanline(y)[x] = uint8_t(x < w / 2 ? 255 : 255 - 200 * (x - w / 2) / (w / 2));
        top->bitmap.setAlphaFull(false);
        top->fOperation = RenderOperation(i);
        stack.add(std::move(top));
        p.drawImage(r.topLeft(), composeLayers(stack));
      });
}

// The five masks of the Layer menu, each over a red-to-yellow layer on a clear ground.
QImage masks() {
  const char* names[] = {"empty (painted)", "gradient", "shape", "text", "image file"};
  return sheet(5, 5, [&names](int i) { return QString(names[i]); }, [](QPainter& p, int i, QRect r) {
    const int w = r.width(), h = r.height();
    LayerStack stack;
    stack.add(clearLayer(w, h));
    stack.add(paintedLayer(w, h, [w](int x, int) { return 0xFF0000u | uint32_t(255 * x / w) << 8; }));
    std::unique_ptr<Layer> mask;
    if (i == 0 || i == 4) {
      auto image = std::make_unique<ImageLayer>();
      image->bitmap = Bitmap(w, h, PixelFormat::ie8g);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          image->bitmap.mutableScanline(y)[x] =
              i == 0 ? ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < 400 ? 0 : 255) : uint8_t(255 * y / h);
      image->fMaskInverted = i == 0;
      mask = std::move(image);
    } else if (i == 3) {
      auto text = std::make_unique<TextLayer>();
      text->fText = "Mask";
      text->fFont.Name = "Arial Black";
      text->fFont.Height = fontHeightFromSize(26);
      text->fAlignment = text->fLayout = 2;
      text->fBorderWidth = 0;
      text->fFillColor = clNone;
      text->fMaskInverted = true;
      mask = std::move(text);
    } else {
      auto shape = std::make_unique<ShapeLayer>();
      shape->fShape = i == 1 ? 4 : 40;  // rectangle, heart
      shape->fFillColor = clBlack;
      shape->fFillColor2 = i == 1 ? clWhite : clBlack;
      shape->fFillGradient = i == 1 ? 2 : 0;
      shape->fBorderWidth = 0;
      shape->fMaskInverted = true;
      mask = std::move(shape);
    }
    mask->setRect(QRectF(0, 0, w, h));
    mask->fIsMask = true;
    mask->fVisible = false;
    stack.add(std::move(mask));
    drawChecker(p, r);
    p.drawImage(r.topLeft(), composeLayers(stack));
  });
}

}  // namespace
}  // namespace lumo

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: lumo-render-sheets OUTDIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  int appArgc = 1;
  QGuiApplication app(appArgc, argv);
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const std::pair<const char*, QImage (*)()> sheets[] = {
      {"shapes.png", lumo::shapes},         {"pen_styles.png", lumo::penStyles},
      {"line_ends.png", lumo::lineEnds},    {"gradients.png", lumo::gradients},
      {"blend_operations.png", lumo::blendOperations}, {"masks.png", lumo::masks},
  };
  for (const auto& [name, make] : sheets)
    if (!make().save(dir.filePath(name))) {
      std::fprintf(stderr, "cannot write %s\n", name);
      return 1;
    }
  return 0;
}
