// korvane-cli: table info, dump, generation and export without a window.
#include "cli/commands.h"

int main(int argc, char** argv) { return korvane::cli::CliMain(argc, argv); }
