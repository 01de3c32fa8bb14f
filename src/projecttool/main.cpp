// lumo-project: inspect and script Lumora project files from the command line.
#include <cstdio>
#include <cstring>

#include "projecttool/Commands.h"

namespace {

int usage() {
  std::fputs("usage: lumo-project info FILE.lmrd\n"
             "       lumo-project extract FILE.lmrd OUTDIR [--format EXT]\n"
             "       lumo-project pack OUT.lmrd IMAGE...\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const auto& command : lumo::projectToolCommands())
    if (std::strcmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
  return usage();
}
