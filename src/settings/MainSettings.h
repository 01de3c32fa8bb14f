#pragma once
// Every stored preference of the main window with its default. The field of a value is
// named f + the value's name unless the store's table says otherwise; the settings the
// vector tools hand to new layers live in `layers`.
#include <cstdint>
#include <optional>

#include <QString>

#include "engine/layers/NewLayerDefaults.h"

namespace lumo {

class SettingsStore;

struct MainSettings {
  // Window and view. The bounds stay unset (the designed ones) until stored.
  std::optional<int32_t> window_x, window_y, window_w, window_h;
  bool window_m = false;  // maximised
  TColor fBackgroundColor_Normal = 0x242220;
  TColor fBackgroundColor_FullScreen = 0x000000;
  int32_t fZoomFilter = 0;  // resampling filter of zoomed views, 0 ... 18
  bool fStayOnTop = false;
  bool fCurrentShowRulers = false;
  QString CurrentLanguage;  // empty: chosen from the system

  // File dialogs and formats.
  QString fSaveFile_RecentExtension = ".jpg";
  QString fSaveFile_RecentFolder;
  QString fOpenFile_RecentFolder;
  int32_t fJPEG_Quality = 85;
  int32_t fBMP_Compression = 0;  // 0 uncompressed, 1 RLE
  int32_t fPNG_Compression = 6;
  double fJ2000_Rate = 0.95;
  int32_t fPCX_Compression = 1;  // 0 uncompressed, 1 RLE

  // Brush and pencil.
  int32_t fCurrentBrushType = 0;
  TColor fCurrentBrushColor = 0xFFFFFF;
  TColor fCurrentBrushGradient_Color1 = 0xFFFFFF;
  TColor fCurrentBrushGradient_Color2 = 0x00FFFF;
  QString fCurrentBrushTexture_Name = "3d-1";
  int32_t fCurrentBrushTexture_Step = 0;
  int32_t fCurrentBrushSpray_Density = 5;
  int32_t fCurrentBrushShape = 0;
  int32_t fCurrentBrushWidth = 20;
  int32_t fCurrentBrushHeight = 20;
  int32_t fCurrentBrushFeathering = 5;
  int32_t fCurrentBrushOpacity = 100;
  int32_t fCurrentBrushOperation = 0;
  bool fCurrentBrushTextureEffect = false;
  int32_t fCurrentPencilSize = 5;

  // Healing, clone and eraser.
  int32_t fCurrentHealingWidth = 20;
  int32_t fCurrentHealingHeight = 20;
  int32_t fCurrentHealing_Range = 4;
  int32_t fCurrentHealingMethod = 1;
  int32_t fCurrentCloneWidth = 50;
  int32_t fCurrentCloneHeight = 50;
  int32_t fCurrentCloneShape = 0;
  int32_t fCurrentCloneFeathering = 0;
  int32_t fCurrentEraserType = 0;
  int32_t fCurrentEraserShape = 0;
  int32_t fCurrentEraserWidth = 50;
  int32_t fCurrentEraserHeight = 50;
  int32_t fCurrentEraser_Standard_Feathering = 0;
  int32_t fCurrentEraser_Smart_Tolerance = 25;
  int32_t fCurrentEraserTransparency = 100;

  // Retouch tool.
  int32_t fCurrentRetouchType = 0;
  int32_t fCurrentRetouchWidth = 50;
  int32_t fCurrentRetouchHeight = 50;
  int32_t fCurrentRetouchShape = 0;
  int32_t fCurrentRetouchFeathering = 0;
  int32_t fCurrentRetouch_SmudgePressure = 5;
  int32_t fCurrentRetouch_SmudgeBlur = 10;
  int32_t fCurrentRetouch_BlurRadius = 10;
  int32_t fCurrentRetouch_MotionBlurAngle = 0;
  int32_t fCurrentRetouch_MotionBlurSigma = 7;
  int32_t fCurrentRetouch_MotionBlurRadius = 8;
  int32_t fCurrentRetouch_AutoSharpenRate = 3;
  int32_t fCurrentRetouch_AutosharpenIntensity = 68;
  int32_t fCurrentRetouch_SharpenNeighbourhood = 4;
  int32_t fCurrentRetouch_SharpenIntensity = 10;
  int32_t fCurrentRetouch_UnsharpenRadius = 4;
  int32_t fCurrentRetouch_UnsharpenThreshold = 4;
  int32_t fCurrentRetouch_UnsharpenAmount = 10;
  int32_t fCurrentRetouch_SmoothRadius = 6;
  int32_t fCurrentRetouch_PixelizeBlockSize = 10;
  int32_t fCurrentRetouch_BrightnessAdjustment_Up = 10;
  int32_t fCurrentRetouch_BrightnessAdjustment_Down = 10;
  int32_t fCurrentRetouch_SaturationAmount_Up = 30;
  int32_t fCurrentRetouch_SaturationAmount_Down = 30;
  int32_t fCurrentRetouch_WaveLength = 10;
  int32_t fCurrentRetouch_WavePhase = 0;
  int32_t fCurrentRetouch_WaveAmplitude = 3;

  // Shapes, lines, polylines, paths and text: what new layers receive.
  NewLayerSettings layers;
  int32_t fCurrentPolylineInputMethod = 0;
  int32_t fCurrentText_FormattedAlignment = 0;
  int32_t fCurrentText_FormattedNumbering = 0;
  int32_t fCurrentText_FormattedLineSpacing = 0;  // index in "1x", "1.5x", "2x"

  // Fill, ruler and new image.
  int32_t fCurrentFillMode = 0;
  int32_t fCurrentFillOpacityValue = 50;
  int32_t fCurrentFillTolerance = 0;
  int32_t fCurrentRuler = 0;
  int32_t fNewImageWidth = 1024;
  int32_t fNewImageHeight = 768;
  int32_t fNewImageBodyType = 0;
  TColor fNewImageCustomBodyColor = 0x000000;

  // Kept from start to end of a run, never stored.
  int32_t fCurrentBrushGradient_Type = 1;
  int32_t fCurrentWarpToolGripCount = 12;
  bool fShowFoldersTree = true;

  friend bool operator==(const MainSettings&, const MainSettings&) = default;
};

// The values of the cull-and-open dialog, kept in the same key; unset until stored.
struct OpenDialogSettings {
  std::optional<int32_t> OpenDialog_X, OpenDialog_Y, OpenDialog_Width, OpenDialog_Height, OpenDialog_Maximized,
      OpenDialog_LeftWidth, OpenDialog_TreeHeight, OpenDialog_TrackBarPos, OpenDialog_Sorting, OpenDialog_TrackBarMax;
  friend bool operator==(const OpenDialogSettings&, const OpenDialogSettings&) = default;
};

// Reads every value that is stored in its kind and in its range; anything else keeps
// the field's current value (its default at start).
void LoadSettingsFromStore(const SettingsStore& store, MainSettings& settings);
// Writes every value of `settings`; the window bounds only once they are set.
void SaveSettingsToStore(SettingsStore& store, const MainSettings& settings);

void LoadOpenDialogSettings(const SettingsStore& store, OpenDialogSettings& settings);
// Writes them all but OpenDialog_TrackBarMax, which is only ever read.
void SaveOpenDialogSettings(SettingsStore& store, const OpenDialogSettings& settings);

// The three-character style text ("101": bold, not italic, underline) and back.
uint8_t fontStyleFromText(const QString& text);
QString fontStyleToText(uint8_t style);

}  // namespace lumo
