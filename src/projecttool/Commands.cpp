#include "projecttool/Commands.h"

namespace lumo {

const std::vector<ProjectToolCommand>& projectToolCommands() {
  static const std::vector<ProjectToolCommand> commands = {{"info", runInfoCommand}, {"extract", runExtractCommand}, {"pack", runPackCommand}};
  return commands;
}

}  // namespace lumo
