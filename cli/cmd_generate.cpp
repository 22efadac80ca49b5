#include <cstdio>

#include "cli/commands.h"

namespace korvane::cli {

int CmdGenerate(const std::vector<std::string>&) {
  std::fputs("korvane-cli: the generate command is not available in this build\n", stderr);
  return kExitUsage;
}

}  // namespace korvane::cli
