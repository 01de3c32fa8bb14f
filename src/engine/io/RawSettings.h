#pragma once
// How the camera RAW settings of IOParams reach LibRaw.
#include <libraw/libraw_types.h>

#include "engine/io/IOParams.h"

namespace lumo {

// `params` with every setting that `engine` cannot honour put back to its default: the
// import dialog disables those controls for that engine.
IOParams rawSettingsHonouredBy(const IOParams& params, RawEngine engine);

// Sets LibRaw's processing options from the RAW settings of `params`, as `engine`
// honours them. RAW_RedScale and RAW_BlueScale have no LibRaw option; the reader applies
// them itself between white balance and interpolation. GetThumbnail and
// RAW_GetEmbeddedJpeg choose what the reader decodes and have no option either.
void applyRawSettings(const IOParams& params, RawEngine engine, libraw_output_params_t& out);

}  // namespace lumo
