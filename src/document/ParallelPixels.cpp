#include "document/LayerRecord.h"
#include "document/RawBitmapBlock.h"
#include "platform/ParallelFor.h"

namespace lumo {

void inflatePendingPixels(const std::vector<PendingPixels>& pending) {
  parallelFor(pending.size(), [&](size_t i) {
    const PendingPixels& p = pending[i];
    inflateRawBitmap(p.data, p.size, p.layer->bitmap);
  });
}

}  // namespace lumo
