// korvane-cli info: what the header, the language and the field descriptors of a table say.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_format.h"
#include "cli/commands.h"
#include "engine/language.h"
#include "engine/pdx.h"
#include "engine/sysutils.h"
#include "platform/cpdetect.h"
#include "platform/textcodec.h"

namespace korvane::cli {

namespace {

const char* ParadoxVersionName(int fileVersion) {
  if (fileVersion == 3) return "Paradox 3.0";
  if (fileVersion == 4) return "Paradox 3.5";
  if (fileVersion >= 5 && fileVersion <= 9) return "Paradox 4.x";
  if (fileVersion == 10 || fileVersion == 11) return "Paradox 5.x";
  if (fileVersion == 12) return "Paradox 7.x";
  return "unknown version";
}

// Characters of UTF-8 text (what a terminal column count is near enough).
size_t Utf8Width(const std::string& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& s, size_t width) {
  size_t w = Utf8Width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

std::string Decoded(const TTextDecoder& decoder, const std::string& bytes) {
  std::string decoded;
  decoder.DecodeAppend(bytes, DecodeMode::Escape, decoded);
  std::string out;
  AppendEscapedText(out, decoded);
  return out;
}

}  // namespace

int CmdInfo(const std::vector<std::string>& args) {
  std::string path;
  for (const std::string& a : args) {
    if (a.size() > 1 && a[0] == '-') throw UsageError{"info: unknown option \"" + a + "\""};
    if (!path.empty()) throw UsageError{"info: only one table can be shown"};
    path = a;
  }
  if (path.empty()) throw UsageError{"info: no table given"};

  TPdx table;
  table.SetTableName(path);
  table.Open();
  const TPdxHeader& h = table.Header();
  const int codePage = SourceCodePage(table, 0);
  std::shared_ptr<const TTextDecoder> decoder = TTextDecoder::For(codePage);

  std::vector<std::pair<std::string, std::string>> rows;
  auto add = [&](const std::string& k, const std::string& v) { rows.emplace_back(k, v); };
  add("Table", EscapeControlBytes(path));
  add("File version", std::to_string(h.FileVersion()) + " (" + ParadoxVersionName(h.FileVersion()) + ")");
  add("File type", std::to_string(h.FileType()) + (h.FileType() == 0 ? " (keyed)" : " (not keyed)"));
  add("Record length", std::to_string(h.RecordLength()) + " bytes");
  add("Header length", std::to_string(h.HeaderLength()) + " bytes");
  add("Block size", std::to_string(h.BlockSizeKB()) + " KB");
  add("Records", std::to_string(h.NumRecords()));
  add("Blocks", std::to_string(h.FileBlocks()) + " (first block " + std::to_string(h.FirstBlock()) + ")");
  if (table.Encrypted()) {
    char word[16];
    std::snprintf(word, sizeof word, "0x%08X",
                  static_cast<unsigned>(h.FileVersion() >= 5 ? h.EncryptionNew() : h.EncryptionOld()));
    add("Encryption", std::string("encrypted (") + word +
                          "): the records cannot be read");
  } else {
    add("Encryption", "none");
  }
  const std::string language = table.Language();
  add("Language driver", language.empty() ? "none found" : language + " (" + std::to_string(table.LanguageIndex()) + ")");
  std::string cp = h.FileVersion() >= 5 ? std::to_string(h.DosCodePage()) : std::string("none (before version 5)");
  std::string cpLine = cp + ", text read as " + CodePageLabel(codePage);
  if (table.LanguageIndex() >= 1) {
    const int driverCp = LanguageDrivers[table.LanguageIndex()].CodePageNumber;
    if (driverCp != codePage && driverCp != 0) {
      cpLine += "; the language driver's code page is " + std::to_string(driverCp) + " (dump --encoding " +
                std::to_string(driverCp) + ")";
    }
  }
  add("Code page", cpLine);
  if (!table.Encrypted()) {
    const int driverCp = table.LanguageIndex() >= 1 ? LanguageDrivers[table.LanguageIndex()].CodePageNumber : 0;
    const TCodePageGuess g = GuessCodePage(path, codePage, driverCp);
    std::string line = g.Describe();
    if (g.Verdict == TCodePageGuess::cgBetter)
      line += ", not " + CodePageLabel(codePage) + " (dump --encoding auto reads it so)";
    add("Text code page", line);
  }
  char so[8];
  std::snprintf(so, sizeof so, "0x%02X", h.SortOrder());
  add("Sort order", std::string(so) + (table.SortOrderName().empty() ? "" : " \"" + Decoded(*decoder, table.SortOrderName()) + "\""));
  add("Table name in header", Decoded(*decoder, table.TableNameInHeader()));
  add("Memo file", table.HasMemoFile() ? EscapeControlBytes(table.MemoFileName()) : "not found");
  add("Fields", std::to_string(table.FieldCount()));
  {
    // A salvage read finds and measures a broken chain from the block headers alone.
    TPdx salvage("Salvage");
    salvage.SetTableName(path);
    salvage.SetSalvage(true);
    salvage.Open();
    if (salvage.SalvageReport().Damaged) {
      add("Damage", salvage.SalvageReport().Damage + "; dump --salvage and export --salvage read what can be found");
      add("Salvage", salvage.SalvageSummary());
    }
  }
  // What keeps the records from being read whole (encryption has its own line).
  for (const std::string& p : table.ReadProblems()) {
    if (!table.Encrypted() || p != table.ReadProblems().front()) add("Warning", p);
  }

  size_t keyWidth = 0;
  for (auto& r : rows) keyWidth = std::max(keyWidth, r.first.size() + 1);
  std::string out;
  for (auto& r : rows) out += Pad(r.first + ":", keyWidth + 1) + r.second + "\n";

  // The field table.
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"#", "Name", "Type", "Code", "Size", "Offset", "Kind"});
  const auto& info = table.FieldInfo();
  for (int i = 0; i < table.FieldCount(); ++i) {
    const TPdxFieldInfo& fi = info[static_cast<size_t>(i)];
    const TField& f = table.Fields(i);
    std::string size = std::to_string(fi.Size);
    if (fi.Type == 23) size += " decimals";
    cells.push_back({std::to_string(i + 1), Decoded(*decoder, f.FieldName()), ParadoxTypeName(fi.Type),
                     std::to_string(fi.Type), size, std::to_string(fi.Offset), FieldTypeName(f.DataType())});
  }
  std::vector<size_t> widths(cells[0].size(), 0);
  for (auto& row : cells) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Utf8Width(row[c]));
  }
  out += "\n";
  for (auto& row : cells) {
    std::string line = "  ";
    for (size_t c = 0; c < row.size(); ++c) {
      // Numbers right-aligned, words left-aligned.
      bool right = c == 0 || c == 3 || c == 5;
      std::string cell = row[c];
      size_t w = Utf8Width(cell);
      std::string pad(widths[c] - w, ' ');
      line += right ? pad + cell : cell + (c + 1 < row.size() ? pad : "");
      if (c + 1 < row.size()) line += "  ";
    }
    out += line + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (std::fflush(stdout) != 0) throw Exception("cannot write the output");
  return kExitOk;
}

}  // namespace korvane::cli
