// What dump and export say about a table that cannot be read whole.
#include <cstdio>
#include <exception>

#include "cli/cli_format.h"
#include "cli/commands.h"
#include "engine/language.h"
#include "engine/pdx.h"
#include "platform/cpdetect.h"
#include "platform/textcodec.h"

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

void RethrowWithSalvageHint(const TPdx& table) {
  try {
    throw;
  } catch (const EChainError& e) {
    if (table.Salvage()) throw;
    throw Exception(std::string(e.what()) + " (the block chain is broken; --salvage reads every record that can be found)");
  }
}

int AutoCodePage(const TPdx& table) {
  const int header = SourceCodePage(table, 0);
  const int driver = table.LanguageIndex() >= 1 ? LanguageDrivers[table.LanguageIndex()].CodePageNumber : 0;
  const TCodePageGuess g = GuessCodePage(table.TableName(), header, driver);
  if (g.Verdict != TCodePageGuess::cgBetter) return 0;
  std::fprintf(stderr, "korvane-cli: the text is read as %s, not %s as the header says\n",
               CodePageLabel(g.CodePage).c_str(), CodePageLabel(header).c_str());
  return g.CodePage;
}

bool ReportSalvage(const TPdx& table) {
  if (!table.Salvage()) return false;
  if (table.UndecodedValues() > 0) {
    std::fprintf(stderr, "korvane-cli: %lld values could not be decoded and read as empty\n",
                 static_cast<long long>(table.UndecodedValues()));
  }
  if (table.CutMemos() > 0) {
    std::fprintf(stderr, "korvane-cli: %lld memo values are cut: only the part kept in the record could be read\n",
                 static_cast<long long>(table.CutMemos()));
  }
  return table.SalvageReport().Damaged || table.UndecodedValues() > 0 || table.CutMemos() > 0;
}

}  // namespace korvane::cli
