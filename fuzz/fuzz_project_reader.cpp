// libFuzzer entry over the project reader.
#include "ProjectReaderFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumo::fuzzProjectReader(data, size);
  return 0;
}
