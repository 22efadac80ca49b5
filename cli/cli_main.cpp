// korvane-cli: table info, dump, generation and export without a window: the
// usage text and the choice of command.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace {

const char kUsage[] =
    "usage: korvane-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "commands:\n"
    "  info TABLE.db                 header, language and fields of a table\n"
    "  dump [--encoding CP] [--salvage] TABLE.db\n"
    "                                every record as UTF-8, tab-separated; --salvage reads\n"
    "                                a table whose block chain is broken; --encoding auto\n"
    "                                reads the text in the code page it looks like\n"
    "  generate --records N [--fields SPEC] [--block-kb K] [--seed S] [--version V] OUT.db\n"
    "                                write a table of generated records\n"
    "  generate --sample DIR         write the bundled sample tables (see generate --help)\n"
    "  export TABLE.db --format F --output FILE [options]\n"
    "                                export a table (see korvane-cli export --help)\n"
    "  print TABLE.db --output OUT.pdf [options]\n"
    "                                print the list report of a table to PDF\n"
    "                                (see korvane-cli print --help)\n";

}  // namespace

int korvane::cli::CliMain(int argc, char** argv) {
  using namespace korvane::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : kExitOk;
  }
  std::string cmd = args[0];
  args.erase(args.begin());
  try {
    if (cmd == "info") return CmdInfo(args);
    if (cmd == "dump") return CmdDump(args);
    if (cmd == "generate") return CmdGenerate(args);
    if (cmd == "export") return CmdExport(args);
    if (cmd == "print") return CmdPrint(args);
    std::fprintf(stderr, "korvane-cli: unknown command \"%s\"\n\n%s", cmd.c_str(), kUsage);
    return kExitUsage;
  } catch (const UsageError& e) {
    std::fprintf(stderr, "korvane-cli: %s\n\n%s", e.message.c_str(), kUsage);
    return kExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-cli: %s\n", e.what());
    return kExitError;
  }
}
