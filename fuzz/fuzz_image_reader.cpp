// libFuzzer entry over the native image readers.
#include <QtGlobal>

#include "ImageReaderFuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumo::fuzzImageReaders(data, size);
  return 0;
}
