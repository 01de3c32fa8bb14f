#pragma once
#include <vector>

#include "engine/layers/Layer.h"
#include "engine/pixels/Bitmap.h"

namespace lumo {

template <LayerKind K, class Self>
class LayerOfKind : public Layer {
 public:
  static constexpr LayerKind Kind = K;
  LayerKind kind() const override { return K; }
  std::unique_ptr<Layer> clone() const override { return std::make_unique<Self>(static_cast<const Self&>(*this)); }
};

class ImageLayer : public LayerOfKind<LayerKind::ielkImage, ImageLayer> {
 public:
  MagnifyRecord Magnify;
  uint8_t fResampleFilter = 0;
  bool fUseResampleFilter = false;
  Bitmap bitmap;
};

class ShapeLayer : public LayerOfKind<LayerKind::ielkShape, ShapeLayer> {
 public:
  uint8_t fShape = 0;  // TIEShape ordinal, 0 ellipse ... 115
  int32_t fShapeModifier = 0;
};

class LineLayer : public LayerOfKind<LayerKind::ielkLine, LineLayer> {
 public:
  TColor fLineColor = clBlack;
  int32_t fLineWidth = 1;
  uint8_t fLineStyle = 0;  // TIEGPPenStyle
  TColor fLineFillColor = clWhite;
  FontRecord fFont;
  QString fLabelText;
  uint8_t fLabelAlignment = 0;
  uint8_t fLabelPosition = 0;  // TIELineLabelPos
  uint8_t fLabelShape = 4;  // TIEShape of the label's box: rectangle
  bool fReadOnly = false;
  int32_t fShapeSize = 20;
  uint8_t fStartShape = 0;  // TIELineEndShape
  uint8_t fEndShape = 0;
  double fCurve = 0;
  double fLabelHorzMargin = 0;
  double fLabelVertMargin = 0;
  uint8_t fTextOverflow = 0;
  std::array<DPoint, 2> fPoints{};
  IRect fOffset;
};

class PolylineLayer : public LayerOfKind<LayerKind::ielkPolyline, PolylineLayer> {
 public:
  // In layer space: 0 ... 1000 across the layer's width and height, whatever its size.
  std::vector<DPoint> Points;
  bool fPolylineClosed = false;
  bool fIsPath = false;
  bool fAutoSize = true;
  uint8_t fLineStyle = 0;
};

class TextLayer : public LayerOfKind<LayerKind::ielkText, TextLayer> {
 public:
  QString fText;
  QString fRichText;
  bool fEnableFormatting = false;
  uint8_t fBorderShape = 4;  // rectangle
  FontRecord fFont;
  bool fAutoSize = false;
  bool fReadOnly = false;
  uint8_t fAlignment = 0;  // TIEAlignment
  uint8_t fLayout = 0;     // TIELayout
  bool fWordWrap = true;
  double fHorzMargin = 0;
  double fVertMargin = 0;
  uint8_t fTextOverflow = 0;
  double fBorderRotate = 0;
  double fTextOffsetX = 0;
  double fTextOffsetY = 0;
};

class AngleLayer : public LayerOfKind<LayerKind::ielkAngle, AngleLayer> {
 public:
  FontRecord fFont;
  QString fLabelText;
  int32_t fLabelDecimalPlaces = 0;
  uint8_t fAngleMode = 0;  // TIEAngleMode
  std::array<IPoint, 3> fPoints{};
  double fRealPosX = 0, fRealPosY = 0, fRealWidth = 0, fRealHeight = 0;
  double fWasRotate = 0;
  IRect fOffset;
  double fSweepAngle = -999.0;
};

// The kind's name as lists of layers show it ("Image", "Shape", ...), untranslated.
const char* layerKindName(LayerKind kind);

template <class T>
T* layerAs(Layer* layer) {
  return layer && layer->kind() == T::Kind ? static_cast<T*>(layer) : nullptr;
}
template <class T>
const T* layerAs(const Layer* layer) {
  return layer && layer->kind() == T::Kind ? static_cast<const T*>(layer) : nullptr;
}

}  // namespace lumo
