#pragma once
// Lotus 1-2-3 worksheet (release 2 record layout, .WK1): a beginning-of-file
// record, the range of the cells, one record per cell (blank, integer, number
// or label) and an end-of-file record, all little-endian, each record a 16-bit
// opcode and the 16-bit length of its body. The Quattro writer (ZelE2WQ) shares
// these records and changes only what differs.
//
// Numbers come from the cells' native values; dates, times, booleans, memos and
// binary data (as lower-case hex) are labels in the code page the readers take
// these files to be in (850 unless CodePage says otherwise). A sheet holds 8192
// rows and 256 columns: a larger export is refused before anything is written.

#include <cstdint>
#include <string>
#include <string_view>

#include "export/ZelE2Cell.h"

namespace korvane {

class TZelExportToWKS : public TZelExportToCellFile {
 public:
  TZelExportToWKS();

  static constexpr int kMaxRows = 8192;
  static constexpr int kMaxColumns = 256;
  // Opcodes.
  static constexpr uint16_t kBof = 0, kEof = 1, kRange = 6, kColumnWidth = 8, kBlank = 12, kInteger = 13,
                            kNumber = 14, kLabel = 15;
  // The format byte of general numbers (protected, "general").
  static constexpr uint8_t kGeneralFormat = 0xF1;

  // Appends one record: its head and body.
  static void AppendRecord(std::string& out, uint16_t opcode, std::string_view body);
  // A BCD value (digits as text, "-12.50") as a double when the double written
  // back with the same decimals gives the same digits; false otherwise.
  static bool DecimalAsDouble(std::string_view digits, double& out);

  void GetDefaultExt(std::string& ext) const override { ext = ".WK1"; }
  bool UsesCodePage() const override { return true; }
  int DefaultCodePage() const override { return 850; }
  void BeginExecute() override;
  void EndExecute() override;
  void CreateFileStream(const std::string& fileName) override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void BeginRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;

 protected:
  // What the Quattro writer changes.
  virtual const char* SheetKind() const { return "A Lotus worksheet"; }
  virtual uint16_t BeginOfFileValue() const { return 0x0404; }
  virtual uint8_t BlankFormat() const { return 0x22; }
  virtual uint8_t LabelFormat() const { return kGeneralFormat; }
  // The most bytes of text a label holds, and the label's value after its
  // prefix character: Lotus ends the text with a NUL.
  virtual size_t MaxLabelBytes() const { return 253; }
  virtual void AppendLabelText(std::string& body, std::string_view bytes) const;

  // Refuses (before the first byte) or stops an export beyond the sheet.
  [[noreturn]] void TooManyRows(int rows) const;
  [[noreturn]] void TooManyColumns(int cols) const;

 private:
  // The rows and columns the current file will have, by layout.
  void SheetSize(int& rows, int& cols) const;
  void WriteCell(uint16_t opcode, uint8_t format, int row, int col, std::string_view value);
  void WriteLabel(int row, int col, std::string_view text, TAlignment alignment);

  std::string record_;
  int64_t rangeAt_ = -1;  // where the range record's body starts
  int lastRow_ = -1, lastCol_ = -1;
  int nulValues_ = 0, cutLabels_ = 0;
};

}  // namespace korvane
