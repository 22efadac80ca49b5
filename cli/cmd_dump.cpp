#include <cstdio>

#include "cli/commands.h"

namespace korvane::cli {

int CmdDump(const std::vector<std::string>&) {
  std::fputs("korvane-cli: the dump command is not available in this build\n", stderr);
  return kExitUsage;
}

}  // namespace korvane::cli
