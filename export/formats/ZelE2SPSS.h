#pragma once
// SPSS data file (.SAV): a system file of one variable per exported column and
// one case per record, its data compressed in blocks of eight command bytes
// (bias 100). Numbers, dates, times and booleans are numeric variables taken
// from the native value; text, memos and binary data (as lower-case hex) are
// strings of at most 255 bytes in the run's code page, which the file names.

#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

class TZelExportToSPSS : public TZelExportToCellFile {
 public:
  TZelExportToSPSS();

  // The longest short string a variable holds.
  static constexpr int kMaxStringWidth = 255;
  // Print/write formats: type x 65536 + width x 256 + decimals.
  static constexpr int kFmtA = 1, kFmtF = 5, kFmtDate = 20, kFmtTime = 21, kFmtDateTime = 22;
  static constexpr uint32_t Format(int type, int width, int decimals) {
    return static_cast<uint32_t>(type) << 16 | static_cast<uint32_t>(width) << 8 | static_cast<uint32_t>(decimals);
  }
  // The day number (day 1 = 1 January of year 1) of 14 October 1582, where
  // SPSS dates begin.
  static constexpr int64_t kDayNumberOf15821014 = 577735;

  // A variable name from a field name: upper-case A-Z, digits and _ . $ # @
  // (others "_"), a letter first ("V" before anything else), at most 8 bytes, not
  // a reserved word, not ending in "."; "V" + number when nothing is left.
  static std::string VariableName(std::string_view fieldName, int number);
  // Makes name unique among used: trailing digits n are replaced by n + 1
  // within 8 bytes until it is.
  static std::string UniqueName(std::string name, const std::vector<std::string>& used);
  // The name of a code page as the file's character encoding record gives it.
  static std::string EncodingName(int codePage);
  // The character code of the machine integer record for a code page.
  static int32_t CharacterCode(int codePage);

  void GetDefaultExt(std::string& ext) const override { ext = ".SAV"; }
  bool CanAppend() const override { return false; }
  bool CanWriteTitle() const override { return false; }
  bool UsesCodePage() const override { return true; }
  void BeginExecute() override;
  void EndExecute() override;
  void CreateFileStream(const std::string& fileName) override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void CloseFile() override;

  // Cases in the file being written (or the last one).
  int32_t CasesInFile() const { return cases_; }

 private:
  enum TKind { vkString, vkInteger, vkNumber, vkDate, vkTime, vkDateTime, vkBoolean };
  struct TVariable {
    std::string Name;
    std::string Label;  // in the code page
    TKind Kind = vkString;
    int Width = 0;  // strings: 1..255
    int Decimals = 0;
    bool Written = false;  // this case has its value
  };
  void Changed(int& counter);
  void PutCommand(uint8_t code);
  void PutNumber(double value);
  void PutMissing();  // system-missing
  void PutString(const TVariable& v, std::string_view bytes);
  void WriteValue(const TVariable& v, const TField* field, TCellType cellType, const std::string& text);
  void FlushBlock();

  std::vector<TVariable> vars_;
  std::vector<std::string> names_;
  int32_t cases_ = 0;
  int col_ = 0;  // next variable of the case
  bool headerWritten_ = false;
  bool inCase_ = false;
  // The block being filled: command bytes, then the data of those that take it.
  uint8_t commands_[8] = {};
  int used_ = 0;
  std::string slots_;
  // Values changed, by reason.
  int numbersChanged_ = 0, earlyDates_ = 0, trailingBlanks_ = 0, unreadTexts_ = 0;
};

}  // namespace korvane
