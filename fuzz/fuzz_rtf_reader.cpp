// libFuzzer entry over the RTF reader of formatted text layers.
#include "RtfReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumo::fuzzRtfReader(data, size);
  return 0;
}
