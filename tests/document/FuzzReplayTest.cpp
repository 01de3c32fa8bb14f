// The fuzzer's seeds and every input kept from fuzzing go through the reader on each
// test run, so a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ProjectReaderFuzz.h"
#include "SeedProjects.h"
#include "document/ProjectFile.h"

namespace lumo {
namespace {

TEST(FuzzReplay, WriterSeedsReadBackWhole) {
  for (const auto& [name, bytes] : makeSeedProjects()) {
    SCOPED_TRACE(name);
    const ProjectLoadResult r = loadProjectFromBytes(bytes.data(), bytes.size(), QStringLiteral("seed.lmrd"));
    EXPECT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_FALSE(r.versions.empty());
    fuzzProjectReader(bytes.data(), bytes.size());
  }
}

TEST(FuzzReplay, EverySeedTruncatedOrFlippedStaysSafe) {
  for (const auto& [name, bytes] : makeSeedProjects()) {
    SCOPED_TRACE(name);
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 97) fuzzProjectReader(bytes.data(), cut);
    std::vector<uint8_t> flipped = bytes;
    for (size_t i = 0; i < flipped.size(); i += 1 + flipped.size() / 61) {
      flipped[i] ^= 0xA5;
      fuzzProjectReader(flipped.data(), flipped.size());
    }
  }
}

TEST(FuzzReplay, KeptCorpus) {
  const QDir dir(QStringLiteral(LUMO_SOURCE_DIR "/fuzz/corpus/project_reader"));
  ASSERT_TRUE(dir.exists()) << dir.path().toStdString();
  for (const QString& entry : dir.entryList(QDir::Files)) {
    QFile f(dir.filePath(entry));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    fuzzProjectReader(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
  }
}

}  // namespace
}  // namespace lumo
