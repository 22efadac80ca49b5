#pragma once
// dBase table: a dBase III file (.DBF) with its memo file (.DBT), written byte by
// byte. The header and the field descriptors come from the run's columns; each
// record is one deletion byte and the fields at fixed widths. Text is in the
// run's code page, which the header's language byte declares; memo texts and
// binary data (as lower-case hex) go whole into the memo file.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"

namespace korvane {

class TZelExportToDBF : public TZelExportToCellFile {
 public:
  TZelExportToDBF();

  // The header's language byte; 0: the byte of the run's code page.
  uint8_t LanguageID = 0;

  // A dBase III table holds at most this many fields.
  static constexpr int kMaxFields = 255;
  // Widths of the numeric fields.
  static constexpr int kSmallintWidth = 6, kIntegerWidth = 11, kNumberWidth = 20;
  static constexpr int kMaxCharWidth = 254;

  // The language byte of a code page (0 for one dBase does not name).
  static uint8_t LanguageByte(int codePage);
  // A field name from a title: letters, digits and "_" (others "_"), a letter
  // first ("F" before anything else), at most 10 characters; empty for an
  // empty title.
  static std::string FieldName(std::string_view title);
  // Makes name unique among used (ignoring case): trailing digits n are
  // replaced by n + 1 within 10 characters until it is.
  static std::string UniqueName(std::string name, const std::vector<std::string>& used);
  // A number with d decimals, "." and no exponent, right-aligned in width;
  // false when it does not fit (asterisks) or does not hold the value as it is.
  static bool FormatNumber(std::string& out, double value, int decimals, int width);
  static bool FormatDecimal(std::string& out, std::string_view digits, int decimals, int width);

  void GetDefaultExt(std::string& ext) const override { ext = ".DBF"; }
  bool CanAppend() const override { return false; }
  bool CanWriteTitle() const override { return false; }
  bool UsesCodePage() const override { return true; }
  void Assign(const TZelECustomBaseComponent& source) override;
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

  // The memo file of the last file written into a caller's stream.
  const std::string* MemoData() const;
  // Records in the file being written (or the last one).
  uint32_t RecordsInFile() const { return records_; }

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  struct TDescriptor {
    std::string Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
    int Offset = 0;  // in the record, after the deletion byte
    bool Memo = false;  // the column's values go to the memo file
    bool Binary = false;
  };
  void Changed(int& counter);
  // A text an OnGetCellParams handler put in place of the value.
  void WriteHandlerText(const TDescriptor& d, const std::string& text, char* slot);
  void WriteMemo(const TField* field, const std::string& text, char* slot);
  void WriteValue(const TDescriptor& d, const TField* field, TCellType cellType, const std::string& text, char* slot);

  std::vector<TDescriptor> fields_;
  std::vector<std::string> names_;
  std::string record_;
  int recordLength_ = 1;
  uint32_t records_ = 0;
  bool headerWritten_ = false;
  bool inRecord_ = false;
  uint8_t language_ = 0;
  TZelEOutputStream* memo_ = nullptr;
  std::optional<std::string> lastMemo_;  // the memo file written into memory
  uint32_t nextBlock_ = 1;
  bool hasMemo_ = false;
  // Values changed, by reason.
  int numbersChanged_ = 0, datesBlanked_ = 0, memoMarks_ = 0, unreadTexts_ = 0;
};

}  // namespace korvane
