#pragma once
// Delimited and fixed-width text: one line per output row, with a separator
// between the fields or every field padded to its column width.

#include <string>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

// Which values are enclosed in the text qualifier. Whatever the choice, a value
// holding the separator, the qualifier, CR or LF is always enclosed when a
// qualifier is set, so that a reader cannot split it. Without a qualifier such a
// value splits its row; the run writes it as it is and counts it (TotalErrors,
// and a note in the final text). NUL bytes never reach the file: they are left
// out of the value, and counted the same way.
enum TZelETextQualifying : int { tqAny = 0, tqStringOnly, tqNoNumber };

// Settings of the text format beyond the separators every component has.
struct TZelETextSettings {
  TZelETextQualifying TextQualifying = tqStringOnly;
  bool AddCtrlZ = false;  // append 1Ah after the footer
  bool operator==(const TZelETextSettings&) const = default;

  static constexpr const char* kSection = "TextFormat";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelETextSettings>>& Keys() {
    using S = TZelETextSettings;
    static const std::vector<TZelESettingKey<S>> keys = {
        OrdinalKey("TextQualifying", &S::TextQualifying, {"all", "text", "non-numeric"}),
        BoolKey("AddCtrlZ", &S::AddCtrlZ),
    };
    return keys;
  }
};

class TZelExportToText : public TZelExportToCellFile {
 public:
  TZelExportToText();

  // The format's own settings (carried in FormatSettings).
  TZelETextSettings& Settings() { return FormatSettings.Get<TZelETextSettings>(teText); }
  const TZelETextSettings& Settings() const;

  void GetDefaultExt(std::string& ext) const override { ext = Fixed ? ".TXT" : ".CSV"; }
  int GetTextKind() const override { return Fixed ? 1 : 2; }
  bool CanAppend() const override { return true; }
  bool UsesCharacterSet() const override { return true; }
  void GetFieldStr(const TField* field, std::string& text) override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteFooter() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void BeginExecute() override;
  void EndExecute() override;

  // Values of the last run that split their row (no qualifier), the rows they
  // split, and values that lost NUL bytes.
  int SplittingValues() const { return splittingValues_; }
  int SplitRows() const { return splitRows_; }
  int NulValues() const { return nulValues_; }

  // Whether a cell's text is enclosed in the qualifier.
  bool NeedsQualifier(const TField* field, TCellType cellType, const std::string& text) const;

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  // What a cell's text holds, gathered over its pieces.
  struct TCellScan {
    bool nul = false;      // NUL bytes, which are left out
    bool splits = false;   // the separator or a line break
    bool special = false;  // anything a reader would split at, the qualifier included
    int64_t length = 0;    // characters (bytes in a single-byte character set), NULs not counted
  };
  void ScanText(TCellScan& scan, std::string_view text) const;
  bool Qualifies(const TField* field, TCellType cellType, const TCellScan& scan) const;
  void AppendCellText(std::string& out, std::string_view text, bool qualify) const;

  // The settings of the run, copied at its start.
  TZelETextSettings run_;
  std::vector<int> widths_;
  int cellsInRow_ = 0;
  std::string line_;  // the cell being built
  bool rowSplit_ = false;
  int splittingValues_ = 0;
  int splitRows_ = 0;
  int nulValues_ = 0;
};

}  // namespace korvane
