// libFuzzer entry over the project reader.
#include <QtGlobal>

#include "ProjectReaderFuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Qt's image readers complain about every broken embedded image; keep the log useful.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumo::fuzzProjectReader(data, size);
  return 0;
}
