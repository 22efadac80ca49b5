#include "report/RvoPaper.h"

#include <array>
#include <cctype>

namespace korvane::report {

namespace {

// Portrait width and length in millimetres, by ordinal.
constexpr std::array<TRvoPaperInfo, kRvoPaperSizeCount> kPapers = {{
    {"Default", 0, 0},
    {"Letter", 215.9, 279.4},
    {"LetterSmall", 215.9, 279.4},
    {"Tabloid", 279.4, 431.8},
    {"Ledger", 431.8, 279.4},
    {"Legal", 215.9, 355.6},
    {"Statement", 139.7, 215.9},
    {"Executive", 190.5, 254.0},
    {"A3", 297.0, 420.0},
    {"A4", 210.0, 297.0},
    {"A4Small", 210.0, 297.0},
    {"A5", 148.0, 210.0},
    {"B4", 250.0, 354.0},
    {"B5", 182.0, 257.0},
    {"Folio", 215.9, 330.2},
    {"Quarto", 215.0, 275.0},
    {"Rvo10X14", 254.0, 355.6},
    {"Rvo11X17", 279.4, 431.8},
    {"Note", 215.9, 279.0},
    {"Env9", 98.43, 225.4},
    {"Env10", 104.8, 241.3},
    {"Env11", 114.3, 263.5},
    {"Env12", 101.6, 279.4},
    {"Env14", 127.0, 292.1},
    {"CSheet", 100.0, 100.0},
    {"DSheet", 100.0, 100.0},
    {"ESheet", 100.0, 100.0},
    {"Custom", 0, 0},
}};

}  // namespace

const TRvoPaperInfo& PaperInfo(TRvoPaperSize size) {
  int i = static_cast<int>(size);
  if (i < 0 || i >= kRvoPaperSizeCount) i = 0;
  return kPapers[static_cast<size_t>(i)];
}

int PaperCode(TRvoPaperSize size) {
  return size == TRvoPaperSize::Custom ? kRvoCustomPaperCode : static_cast<int>(size);
}

std::optional<TRvoPaperSize> PaperSizeByName(std::string_view name) {
  for (int i = 0; i < kRvoPaperSizeCount; ++i) {
    std::string_view n = kPapers[static_cast<size_t>(i)].Name;
    if (n.size() != name.size()) continue;
    bool same = true;
    for (size_t k = 0; k < n.size() && same; ++k)
      same = std::tolower(static_cast<unsigned char>(n[k])) ==
             std::tolower(static_cast<unsigned char>(name[k]));
    if (same) return static_cast<TRvoPaperSize>(i);
  }
  return std::nullopt;
}

}  // namespace korvane::report
