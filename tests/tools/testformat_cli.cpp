// korvane-cli with the tests' own format in its table of formats.
#include "cli/commands.h"
#include "support/testformat.h"

int main(int argc, char** argv) {
  korvane::test::RegisterTestCellsFormat();
  return korvane::cli::CliMain(argc, argv);
}
