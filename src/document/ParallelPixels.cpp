#include "document/LayerRecord.h"
#include "document/PixelDeflate.h"
#include "document/RawBitmapBlock.h"
#include "platform/ParallelFor.h"

namespace lumo {

void inflatePendingPixels(const std::vector<PendingPixels>& pending) {
  parallelFor(pending.size(), [&](size_t i) {
    const PendingPixels& p = pending[i];
    const std::vector<uint8_t> raw = inflateRawBitmapStream(p.data, p.size);
    decodeRawBitmap(raw.data(), raw.size(), p.layer->bitmap);
  });
}

}  // namespace lumo
