#pragma once
#include <vector>

namespace lumo {

struct ProjectToolCommand {
  const char* name;
  int (*run)(int argc, char** argv);  // the arguments after the command's name
};

// Every subcommand, each defined in its own source file.
const std::vector<ProjectToolCommand>& projectToolCommands();
int runInfoCommand(int argc, char** argv);
int runExtractCommand(int argc, char** argv);
int runPackCommand(int argc, char** argv);

}  // namespace lumo
