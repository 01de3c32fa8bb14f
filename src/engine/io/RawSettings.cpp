#include "engine/io/RawSettings.h"

#include <algorithm>
#include <atomic>

namespace lumo {

namespace {
std::atomic<RawEngine> chosenEngine{RawEngine::Auto};
}  // namespace

RawEngine rawEngine() { return chosenEngine.load(); }
void setRawEngine(RawEngine engine) { chosenEngine.store(engine); }

RawEngine rawEngineInUse(RawEngine chosen) {
  return chosen == RawEngine::WIC || chosen == RawEngine::Legacy ? chosen : RawEngine::LibRaw;
}

// Every engine decodes with LibRaw on this platform. "WIC" stands for the system imaging
// component, which decodes as the camera shot the picture: it takes no gamma, white
// balance, colour or interpolation choice and never brightens by itself. "Legacy" is the
// classic decoder, which has every choice except automatic brightness.
IOParams rawSettingsHonouredBy(const IOParams& params, RawEngine engine) {
  IOParams honoured = params;
  const IOParams defaults;
  engine = rawEngineInUse(engine);
  if (engine != RawEngine::LibRaw) honoured.RAW_AutoBright = defaults.RAW_AutoBright;
  if (engine == RawEngine::WIC) {
    honoured.RAW_Gamma = defaults.RAW_Gamma;
    honoured.RAW_FourColorRGB = defaults.RAW_FourColorRGB;
    honoured.RAW_QuickInterpolate = defaults.RAW_QuickInterpolate;
    honoured.RAW_UseCameraWB = defaults.RAW_UseCameraWB;
    honoured.RAW_UseAutoWB = defaults.RAW_UseAutoWB;
    honoured.RAW_AutoAdjustColors = defaults.RAW_AutoAdjustColors;
    honoured.RAW_OutputColorSpace = defaults.RAW_OutputColorSpace;
  }
  return honoured;
}

void applyRawSettings(const IOParams& params, RawEngine engine, libraw_output_params_t& out) {
  const IOParams p = rawSettingsHonouredBy(params, engine);
  out.half_size = p.RAW_HalfSize ? 1 : 0;
  out.four_color_rgb = p.RAW_FourColorRGB ? 1 : 0;
  // Quick interpolation is the linear one, whatever the interpolation list says.
  out.user_qual = p.RAW_QuickInterpolate ? 0 : std::clamp(p.RAW_Interpolation, 0, 4);
  out.use_auto_wb = p.RAW_UseAutoWB ? 1 : 0;
  out.use_camera_wb = p.RAW_UseCameraWB ? 1 : 0;
  // LibRaw's automatic colour correction: the white level follows the brightest values
  // actually in the frame, which takes the colour cast out of clipped highlights.
  // Without it the white level is the one the file declares.
  out.adjust_maximum_thr = p.RAW_AutoAdjustColors ? 0.75f : 0.0f;
  // LibRaw takes the power as its inverse; a gamma below 1 would darken and a zero one
  // would divide by zero, so the slider's range 1 ... 100 holds.
  out.gamm[0] = 1.0 / std::clamp(p.RAW_Gamma, 1.0, 100.0);
  out.gamm[1] = std::max(p.RAW_GammaToeSlope, 0.0);
  out.no_auto_bright = p.RAW_AutoBright ? 0 : 1;
  // LibRaw divides the white point by the brightness.
  out.bright = float(std::max(p.RAW_Bright, 0.01));
  out.output_color = std::clamp(p.RAW_OutputColorSpace, 0, 5);
  out.highlight = std::clamp(p.RAW_Highlight, 0, 9);
  // The editor edits 24-bit RGB; LibRaw turns the file upright itself unless told not to.
  out.output_bps = 8;
  out.user_flip = p.EnableAdjustOrientation ? -1 : 0;
}

}  // namespace lumo
