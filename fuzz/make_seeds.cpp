// Writes the writer-made seed projects into a folder for the fuzzer.
#include <cstdio>
#include <fstream>

#include "SeedProjects.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_seeds FOLDER\n", stderr);
    return 2;
  }
  for (const auto& [name, bytes] : lumo::makeSeedProjects()) {
    std::ofstream out(std::string(argv[1]) + "/" + name + ".lmrd", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) return 1;
  }
  return 0;
}
