#include <cstdio>

#include "cli/commands.h"

namespace korvane::cli {

int CmdExport(const std::vector<std::string>&) {
  std::fputs("korvane-cli: the export command is not available in this build\n", stderr);
  return kExitUsage;
}

}  // namespace korvane::cli
