// Writes the writer-made seeds of one fuzz target into a folder for the fuzzer.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "ImageReaderFuzz.h"
#include "RtfReaderFuzz.h"
#include "SeedProjects.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_seeds fuzz_project_reader|fuzz_image_reader|fuzz_rtf_reader FOLDER\n", stderr);
    return 2;
  }
  const bool images = std::strcmp(argv[1], "fuzz_image_reader") == 0;
  const bool rtf = std::strcmp(argv[1], "fuzz_rtf_reader") == 0;
  if (!images && !rtf && std::strcmp(argv[1], "fuzz_project_reader") != 0) return 2;
  for (const auto& [name, bytes] : images ? lumo::makeSeedImages() : rtf ? lumo::makeSeedRtf() : lumo::makeSeedProjects()) {
    std::ofstream out(std::string(argv[2]) + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) return 1;
  }
  return 0;
}
