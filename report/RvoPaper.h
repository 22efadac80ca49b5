// Paper sizes, orientation and paper bins of a report, and the paper table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane::report {

// Ordinals are the printer's paper codes (Custom is sent as 256).
enum class TRvoPaperSize : int {
  Default = 0, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4,
  A4Small, A5, B4, B5, Folio, Quarto, Rvo10X14, Rvo11X17, Note, Env9, Env10, Env11, Env12,
  Env14, CSheet, DSheet, ESheet, Custom,
};
inline constexpr int kRvoPaperSizeCount = 28;
inline constexpr int kRvoCustomPaperCode = 256;

enum class TRvoOrientation : uint8_t { poPortrait = 0, poLandscape = 1 };

enum class TRvoBin : uint8_t {
  First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat,
  LargeFormat, LargeCapacity, Cassette, Last,
};

struct TRvoPaperInfo {
  std::string_view Name;
  double WidthMM;   // portrait width; 0 for Default and Custom (the printer's)
  double LengthMM;  // portrait length
};

// The paper table, by ordinal.
const TRvoPaperInfo& PaperInfo(TRvoPaperSize size);
// The paper code sent to a printer: the ordinal, 256 for Custom.
int PaperCode(TRvoPaperSize size);
// By name, ignoring case ("a4", "Letter"); nothing for an unknown name.
std::optional<TRvoPaperSize> PaperSizeByName(std::string_view name);

}  // namespace korvane::report
