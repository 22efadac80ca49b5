// What dump and export say about a table that cannot be read whole.
#include <cstdio>

#include "cli/cli_format.h"
#include "cli/commands.h"
#include "engine/pdx.h"

namespace korvane::cli {

void RefuseEncrypted(const TPdx& table) {
  if (table.Encrypted()) {
    throw Exception("\"" + EscapeControlBytes(table.TableName()) +
                    "\" - the table is encrypted: its records cannot be read");
  }
}

void WarnReadProblems(const TPdx& table) {
  for (const std::string& p : table.ReadProblems()) std::fprintf(stderr, "korvane-cli: warning: %s\n", p.c_str());
}

}  // namespace korvane::cli
