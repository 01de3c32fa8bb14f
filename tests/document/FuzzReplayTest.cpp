// The fuzzer's seeds and every input kept from fuzzing go through the reader on each
// test run, so a fixed crash stays fixed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "ImageReaderFuzz.h"
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

TEST(FuzzReplay, ImageSeedsDecodeAndSurviveDamage) {
  const auto seeds = makeSeedImages();
  EXPECT_GE(seeds.size(), 12u);  // three pictures in each of the four formats
  for (const auto& [name, bytes] : seeds) {
    SCOPED_TRACE(name);
    fuzzImageReaders(bytes.data(), bytes.size());
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 53) fuzzImageReaders(bytes.data(), cut);
    std::vector<uint8_t> flipped = bytes;
    for (size_t i = 0; i < flipped.size(); i += 1 + flipped.size() / 41) {
      flipped[i] ^= 0x5A;
      fuzzImageReaders(flipped.data(), flipped.size());
    }
  }
}

TEST(FuzzReplay, KeptCorpus) {
  const std::pair<const char*, void (*)(const uint8_t*, size_t)> targets[] = {
      {LUMO_SOURCE_DIR "/fuzz/corpus/project_reader", fuzzProjectReader},
      {LUMO_SOURCE_DIR "/fuzz/corpus/image_reader", fuzzImageReaders}};
  for (const auto& [folder, run] : targets) {
    const QDir dir(QString::fromLatin1(folder));
    ASSERT_TRUE(dir.exists()) << folder;
    for (const QString& entry : dir.entryList(QDir::Files)) {
      QFile f(dir.filePath(entry));
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      const QByteArray bytes = f.readAll();
      run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
  }
}

}  // namespace
}  // namespace lumo
