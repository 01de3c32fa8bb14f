#pragma once
#include <memory>

#include <QByteArray>
#include <QRectF>
#include <QString>

#include "engine/layers/LayerTypes.h"

namespace lumo {

// What every layer kind has. Fields keep the names under which they are stored;
// position and size are real numbers (the stored record rounds them).
class Layer {
 public:
  virtual ~Layer() = default;
  virtual LayerKind kind() const = 0;
  virtual std::unique_ptr<Layer> clone() const = 0;

  QRectF rect() const { return QRectF(PosX, PosY, Width, Height); }
  void setRect(const QRectF& r) { PosX = r.x(); PosY = r.y(); Width = r.width(); Height = r.height(); }
  bool isImage() const { return kind() == LayerKind::ielkImage; }
  // A fresh identifier for a new or duplicated layer.
  void newGuid();
  // Takes every property all kinds share from `other`, of whatever kind (used when a
  // layer changes kind, as in the conversion to an image layer).
  void assignCommon(const Layer& other) { Layer::operator=(other); }

  LayerGuid fGuid{};
  double PosX = 0, PosY = 0, Width = 0, Height = 0;
  bool fVisible = true;
  bool fVisibleBox = true;
  bool fSelectable = true;
  int32_t fTransparency = 255;
  double fOpacity = 1.0;
  double fFillOpacity = 1.0;
  IRect fClientAreaBox;
  bool fCropped = false;
  bool fLocked = false;
  RenderOperation fOperation = RenderOperation::ielNormal;
  QByteArray UserData;
  QString fName;
  QString fHint;
  QString fURL;
  bool fIsMask = false;
  bool fMaskInverted = false;
  bool fDrawOuter = false;
  double fRotate = 0;
  double fRotateCenterX = 0.5;
  double fRotateCenterY = 0.5;
  uint8_t fFlip = 0;  // bit 0 horizontal, bit 1 vertical
  int32_t fAlphaEdgeFeathering = 0;
  bool fSelected = false;
  int32_t fGroupIndex = 0;
  bool fAspectRatioLocked = false;
  bool fAntiAlias = true;
  double fOriginalAspectRatio = 0;
  int32_t fTag = 0;
  TColor fBorderColor = clBlack;
  int32_t fBorderWidth = 1;
  TColor fFillColor = clWhite;
  TColor fFillColor2 = clNone;
  uint8_t fFillGradient = 0;
  ShadowRecord SoftShadow;
  ShadowRecord InnerGlow;
  TextStyling fTextStyling;
  uint8_t fRulerMode = 0;
  uint8_t fRulerUnits = 0;
  bool fScaleLocking = false;
  double fModifiedDate = 0;  // days since 30 December 1899

  // Not stored: bytes of the record this layer was last read from or written to,
  // and whether it must be drawn again.
  int32_t StoredSize = 0;
  bool Changed = true;

 protected:
  Layer() = default;
  Layer(const Layer&) = default;
  Layer& operator=(const Layer&) = default;
};

// Creates a layer of the given kind with the defaults of a new layer.
std::unique_ptr<Layer> createLayer(LayerKind kind);

}  // namespace lumo
