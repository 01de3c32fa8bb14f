#include "ProjectReaderFuzz.h"

#include "document/ProjectFile.h"

namespace lumo {

void fuzzProjectReader(const uint8_t* data, size_t size) {
  for (bool pixels : {true, false}) {
    ProjectLoadOptions options;
    options.loadPixels = pixels;
    loadProjectFromBytes(data, size, QStringLiteral("fuzz.lmrd"), options);
  }
}

}  // namespace lumo
