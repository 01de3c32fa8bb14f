#include "settings/MainSettings.h"

#include <functional>
#include <vector>

#include "platform/SettingsStore.h"

namespace lumo {

namespace {

using M = MainSettings;

struct Entry {
  const char* name;
  std::function<void(const SettingsStore&, M&)> load;
  std::function<void(SettingsStore&, const M&)> save;
};

template <class Get>
auto& field(Get get, M& s) {
  return std::invoke(get, s);
}
template <class Get>
const auto& field(Get get, const M& s) {
  return std::invoke(get, const_cast<M&>(s));
}

// An integer (also an enumeration's ordinal) in [lo, hi].
template <class Get>
Entry integer(const char* name, Get get, int64_t lo = INT32_MIN, int64_t hi = INT32_MAX) {
  return {name,
          [=](const SettingsStore& st, M& s) {
            if (const auto v = st.readInt(name); v && *v >= lo && *v <= hi)
              field(get, s) = static_cast<std::remove_reference_t<decltype(field(get, s))>>(*v);
          },
          [=](SettingsStore& st, const M& s) { st.writeInt(name, int32_t(field(get, s))); }};
}
template <class Get>
Entry colour(const char* name, Get get) {
  return integer(name, get, 0, 0xFFFFFF);
}
// Written as 0 or 1; any other non-zero value reads as true.
template <class Get>
Entry boolean(const char* name, Get get) {
  return {name, [=](const SettingsStore& st, M& s) { if (const auto v = st.readInt(name)) field(get, s) = *v != 0; },
          [=](SettingsStore& st, const M& s) { st.writeInt(name, field(get, s) ? 1 : 0); }};
}
// True only when the stored value is exactly 1.
template <class Get>
Entry exactlyOne(const char* name, Get get) {
  return {name, [=](const SettingsStore& st, M& s) { if (const auto v = st.readInt(name)) field(get, s) = *v == 1; },
          [=](SettingsStore& st, const M& s) { st.writeInt(name, field(get, s) ? 1 : 0); }};
}
template <class Get>
Entry text(const char* name, Get get) {
  return {name, [=](const SettingsStore& st, M& s) { if (const auto v = st.readText(name)) field(get, s) = *v; },
          [=](SettingsStore& st, const M& s) { st.writeText(name, field(get, s)); }};
}
template <class Get>
Entry style(const char* name, Get get) {
  return {name,
          [=](const SettingsStore& st, M& s) { if (const auto v = st.readText(name)) field(get, s) = fontStyleFromText(*v); },
          [=](SettingsStore& st, const M& s) { st.writeText(name, fontStyleToText(field(get, s))); }};
}
// Window bounds: stored once known.
template <class Get>
Entry bound(const char* name, Get get) {
  return {name, [=](const SettingsStore& st, M& s) { if (const auto v = st.readInt(name)) field(get, s) = *v; },
          [=](SettingsStore& st, const M& s) { if (const auto& v = field(get, s)) st.writeInt(name, *v); }};
}

#define LAYER(member) [](M& s) -> auto& { return s.layers.member; }

const std::vector<Entry>& entries() {
  static const std::vector<Entry> table = {
      bound("window_x", &M::window_x),
      bound("window_y", &M::window_y),
      bound("window_w", &M::window_w),
      bound("window_h", &M::window_h),
      exactlyOne("window_m", &M::window_m),
      colour("background_normal", &M::fBackgroundColor_Normal),
      colour("background_fullscreen", &M::fBackgroundColor_FullScreen),
      integer("zoomfilter", &M::fZoomFilter, 0, 18),
      exactlyOne("StayOnTop", &M::fStayOnTop),
      boolean("CurrentShowRulers", &M::fCurrentShowRulers),
      text("CurrentLanguage", &M::CurrentLanguage),

      text("SaveFile_RecentExtension", &M::fSaveFile_RecentExtension),
      text("SaveFile_RecentFolder", &M::fSaveFile_RecentFolder),
      text("OpenFile_RecentFolder", &M::fOpenFile_RecentFolder),
      integer("JPEG_Quality", &M::fJPEG_Quality, 1, 100),
      integer("BMP_Compression", &M::fBMP_Compression, 0, 1),
      integer("PNG_Compression", &M::fPNG_Compression, 0, 9),
      {"J2000_Rate",
       [](const SettingsStore& st, M& s) {
         if (const auto v = st.readDouble("J2000_Rate"); v && *v > 0 && *v <= 1) s.fJ2000_Rate = *v;
       },
       [](SettingsStore& st, const M& s) { st.writeDouble("J2000_Rate", s.fJ2000_Rate); }},
      integer("PCX_Compression", &M::fPCX_Compression, 0, 1),

      integer("CurrentBrushType", &M::fCurrentBrushType, 0, 3),
      colour("CurrentBrushColor", &M::fCurrentBrushColor),
      colour("CurrentBrushGradient_Color1", &M::fCurrentBrushGradient_Color1),
      colour("CurrentBrushGradient_Color2", &M::fCurrentBrushGradient_Color2),
      text("CurrentBrushTexture_Name", &M::fCurrentBrushTexture_Name),
      integer("CurrentBrushTexture_Step", &M::fCurrentBrushTexture_Step),
      integer("CurrentBrushSpray_Density", &M::fCurrentBrushSpray_Density),
      integer("CurrentBrushShape", &M::fCurrentBrushShape, 0, 2),
      integer("CurrentBrushWidth", &M::fCurrentBrushWidth, 1, 10000),
      integer("CurrentBrushHeight", &M::fCurrentBrushHeight, 1, 10000),
      integer("CurrentBrushFeathering", &M::fCurrentBrushFeathering),
      integer("CurrentBrushTransparency", &M::fCurrentBrushOpacity, 0, 100),
      integer("CurrentBrushOperation", &M::fCurrentBrushOperation, 0, 43),
      boolean("CurrentBrushEffectOfTexture", &M::fCurrentBrushTextureEffect),
      integer("CurrentPencilSize", &M::fCurrentPencilSize, 1, 10000),

      integer("CurrentHealingWidth", &M::fCurrentHealingWidth, 1, 10000),
      integer("CurrentHealingHeight", &M::fCurrentHealingHeight, 1, 10000),
      integer("CurrentHealing_Range", &M::fCurrentHealing_Range),
      integer("CurrentHealingMethod", &M::fCurrentHealingMethod, 0, 1),
      integer("CurrentCloneWidth", &M::fCurrentCloneWidth, 1, 10000),
      integer("CurrentCloneHeight", &M::fCurrentCloneHeight, 1, 10000),
      integer("CurrentCloneShape", &M::fCurrentCloneShape),
      integer("CurrentCloneFeathering", &M::fCurrentCloneFeathering),
      integer("CurrentEraser", &M::fCurrentEraserType, 0, 1),
      integer("CurrentEraserShape", &M::fCurrentEraserShape),
      integer("CurrentEraserWidth", &M::fCurrentEraserWidth, 1, 10000),
      integer("CurrentEraserHeight", &M::fCurrentEraserHeight, 1, 10000),
      integer("CurrentEraser_Standard_Feathering", &M::fCurrentEraser_Standard_Feathering),
      integer("CurrentEraser_Smart_Tolerance", &M::fCurrentEraser_Smart_Tolerance),
      integer("CurrentEraserTransparency", &M::fCurrentEraserTransparency, 0, 100),

      integer("CurrentRetouchType", &M::fCurrentRetouchType),
      integer("CurrentRetouchWidth", &M::fCurrentRetouchWidth, 1, 10000),
      integer("CurrentRetouchHeight", &M::fCurrentRetouchHeight, 1, 10000),
      integer("CurrentRetouchShape", &M::fCurrentRetouchShape),
      integer("CurrentRetouchFeathering", &M::fCurrentRetouchFeathering),
      integer("CurrentRetouch_SmudgePressure", &M::fCurrentRetouch_SmudgePressure),
      integer("CurrentRetouch_SmudgeBlur", &M::fCurrentRetouch_SmudgeBlur),
      integer("CurrentRetouch_BlurRadius", &M::fCurrentRetouch_BlurRadius),
      integer("CurrentRetouch_MotionBlurAngle", &M::fCurrentRetouch_MotionBlurAngle),
      integer("CurrentRetouch_MotionBlurSigma", &M::fCurrentRetouch_MotionBlurSigma),
      integer("CurrentRetouch_MotionBlurRadius", &M::fCurrentRetouch_MotionBlurRadius),
      integer("CurrentRetouch_AutoSharpenRate", &M::fCurrentRetouch_AutoSharpenRate),
      integer("CurrentRetouch_AutosharpenIntensity", &M::fCurrentRetouch_AutosharpenIntensity),
      integer("CurrentRetouch_SharpenNeighbourhood", &M::fCurrentRetouch_SharpenNeighbourhood),
      integer("CurrentRetouch_SharpenIntensity", &M::fCurrentRetouch_SharpenIntensity),
      integer("CurrentRetouch_UnsharpenRadius", &M::fCurrentRetouch_UnsharpenRadius),
      integer("CurrentRetouch_UnsharpenThreshold", &M::fCurrentRetouch_UnsharpenThreshold),
      integer("CurrentRetouch_UnsharpenAmount", &M::fCurrentRetouch_UnsharpenAmount),
      integer("CurrentRetouch_SmoothRadius", &M::fCurrentRetouch_SmoothRadius),
      integer("CurrentRetouch_PixelizeBlockSize", &M::fCurrentRetouch_PixelizeBlockSize),
      integer("CurrentRetouch_BrightnessAdjustment_Up", &M::fCurrentRetouch_BrightnessAdjustment_Up),
      integer("CurrentRetouch_BrightnessAdjustment_Down", &M::fCurrentRetouch_BrightnessAdjustment_Down),
      integer("CurrentRetouch_SaturationAmount_Up", &M::fCurrentRetouch_SaturationAmount_Up),
      integer("CurrentRetouch_SaturationAmount_Down", &M::fCurrentRetouch_SaturationAmount_Down),
      integer("CurrentRetouch_WaveLength", &M::fCurrentRetouch_WaveLength),
      integer("CurrentRetouch_WavePhase", &M::fCurrentRetouch_WavePhase),
      integer("CurrentRetouch_WaveAmplitude", &M::fCurrentRetouch_WaveAmplitude),

      integer("CurrentShape", LAYER(fCurrentShape), 0, 115),
      colour("CurrentShapeBorderColor", LAYER(fCurrentShapeBorderColor)),
      integer("CurrentShapeBorderWidth", LAYER(fCurrentShapeBorderWidth), 0, 10000),
      boolean("CurrentShapeFill", LAYER(fCurrentShapeFilledByColor)),
      colour("CurrentShapeFillColor1", LAYER(fCurrentShapeFillColor1)),
      colour("CurrentShapeFillColor2", LAYER(fCurrentShapeFillColor2)),
      integer("CurrentShapeGradient", LAYER(fCurrentShapeGradient), 0, 16),
      colour("CurrentLineColor", LAYER(fCurrentLineColor)),
      integer("CurrentLineWidth", LAYER(fCurrentLineWidth), 0, 10000),
      integer("CurrentLineStyle", LAYER(fCurrentLineStyle), 0, 6),
      integer("CurrentLineStartShape", LAYER(fCurrentLineStartShape), 0, 7),
      integer("CurrentLineEndShape", LAYER(fCurrentLineEndShape), 0, 7),
      integer("CurrentLineShapeSize", LAYER(fCurrentLineShapeSize), 0, 10000),
      integer("CurrentLineCurve", LAYER(fCurrentLineCurveSize)),
      integer("CurrentPolylineInputMethod", &M::fCurrentPolylineInputMethod, 0, 1),
      boolean("CurrentPolylineFilled", LAYER(fCurrentPolylineFilledByColor)),
      boolean("CurrentPolylineClosed", LAYER(fCurrentPolylineClosed)),
      integer("CurrentPolylineGradient", LAYER(fCurrentPolylineGradient), 0, 16),
      colour("CurrentPolylineColor1", LAYER(fCurrentPolylineColor1)),
      colour("CurrentPolylineColor2", LAYER(fCurrentPolylineColor2)),
      integer("CurrentPolylineBorderWidth", LAYER(fCurrentPolylineBorderWidth), 0, 10000),
      colour("CurrentPolylineBorderColor", LAYER(fCurrentPolylineBorderColor)),
      boolean("CurrentPathClosed", LAYER(fCurrentPathClosed)),

      text("CurrentText_HeaderFontName", LAYER(fCurrentText_HeaderFontName)),
      integer("CurrentText_HeaderFontSize", LAYER(fCurrentText_HeaderFontSize), 1, 10000),
      style("CurrentText_HeaderFontStyle", LAYER(fCurrentText_HeaderFontStyle)),
      colour("CurrentText_HeaderFontColor1", LAYER(fCurrentText_HeaderFontColor1)),
      colour("CurrentText_HeaderFontColor2", LAYER(fCurrentText_HeaderFontColor2)),
      integer("CurrentText_HeaderFontGradient", LAYER(fCurrentText_HeaderFontGradient), 0, 16),
      boolean("CurrentText_HeaderFontFilledByColor", LAYER(fCurrentText_HeaderFontFilledByColor)),
      integer("CurrentText_HeaderFontBorder", LAYER(fCurrentText_HeaderFontBorder), 0, 10000),
      colour("CurrentText_HeaderFontBorderColor", LAYER(fCurrentText_HeaderFontBorderColor)),
      text("CurrentText_FormattedFontName", LAYER(fCurrentText_FormattedFontName)),
      integer("CurrentText_FormattedFontSize", LAYER(fCurrentText_FormattedFontSize), 1, 10000),
      style("CurrentText_FormattedFontStyle", LAYER(fCurrentText_FormattedFontStyle)),
      colour("CurrentText_FormattedFontColor", LAYER(fCurrentText_FormattedFontColor)),
      integer("CurrentText_FormattedAlignment", &M::fCurrentText_FormattedAlignment, 0, 3),
      integer("CurrentText_FormattedNumbering", &M::fCurrentText_FormattedNumbering, 0, 2),
      integer("CurrentText_FormattedLineSpacing", &M::fCurrentText_FormattedLineSpacing, 0, 2),

      integer("CurrentFillMode", &M::fCurrentFillMode, 0, 1),
      integer("CurrentFillOpacityValue", &M::fCurrentFillOpacityValue, 0, 100),
      integer("CurrentFillTolerance", &M::fCurrentFillTolerance),
      integer("CurrentRuler", &M::fCurrentRuler, 0, 2),
      integer("NewImageWidth", &M::fNewImageWidth, 1, 1 << 20),
      integer("NewImageHeight", &M::fNewImageHeight, 1, 1 << 20),
      integer("NewImageBodyType", &M::fNewImageBodyType, 0, 2),
      colour("NewImageCustomBodyColor", &M::fNewImageCustomBodyColor),
  };
  return table;
}

#undef LAYER

using OpenDialogField = std::optional<int32_t> OpenDialogSettings::*;
using O = OpenDialogSettings;
const std::pair<const char*, OpenDialogField> kOpenDialog[] = {
    {"OpenDialog_X", &O::OpenDialog_X},
    {"OpenDialog_Y", &O::OpenDialog_Y},
    {"OpenDialog_Width", &O::OpenDialog_Width},
    {"OpenDialog_Height", &O::OpenDialog_Height},
    {"OpenDialog_Maximized", &O::OpenDialog_Maximized},
    {"OpenDialog_LeftWidth", &O::OpenDialog_LeftWidth},
    {"OpenDialog_TreeHeight", &O::OpenDialog_TreeHeight},
    {"OpenDialog_TrackBarPos", &O::OpenDialog_TrackBarPos},
    {"OpenDialog_Sorting", &O::OpenDialog_Sorting},
    {"OpenDialog_TrackBarMax", &O::OpenDialog_TrackBarMax},  // read, never written
};

}  // namespace

void LoadSettingsFromStore(const SettingsStore& store, MainSettings& settings) {
  if (!store.exists()) return;
  for (const Entry& e : entries()) e.load(store, settings);
}

void SaveSettingsToStore(SettingsStore& store, const MainSettings& settings) {
  for (const Entry& e : entries()) e.save(store, settings);
}

void LoadOpenDialogSettings(const SettingsStore& store, OpenDialogSettings& settings) {
  for (const auto& [name, member] : kOpenDialog)
    if (const auto v = store.readInt(name)) settings.*member = *v;
}

void SaveOpenDialogSettings(SettingsStore& store, const OpenDialogSettings& settings) {
  for (const auto& [name, member] : kOpenDialog)
    if (member != &O::OpenDialog_TrackBarMax && settings.*member) store.writeInt(name, *(settings.*member));
}

uint8_t fontStyleFromText(const QString& text) {
  uint8_t style = 0;
  const uint8_t bits[] = {fsBold, fsItalic, fsUnderline};
  for (int i = 0; i < 3; ++i)
    if (text.size() > i && text.at(i) == '1') style |= bits[i];
  return style;
}

QString fontStyleToText(uint8_t style) {
  return QString("%1%2%3").arg(style & fsBold ? 1 : 0).arg(style & fsItalic ? 1 : 0).arg(style & fsUnderline ? 1 : 0);
}

}  // namespace lumo
