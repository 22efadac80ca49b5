#include <cstdio>

#include "cli/commands.h"

namespace korvane::cli {

int CmdInfo(const std::vector<std::string>&) {
  std::fputs("korvane-cli: the info command is not available in this build\n", stderr);
  return kExitUsage;
}

}  // namespace korvane::cli
