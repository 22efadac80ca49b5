#pragma once
// Rich Text document: the header lines as paragraphs, the title and data rows as
// one table of bordered cells, pictures of graphic fields embedded, the footer
// lines as paragraphs.
//
// The font and colour tables come before the body in RTF but are known only once
// every cell is written, so the body goes into an unlinked temporary file while
// the run writes it and is copied into the document after the tables; memory
// stays flat however long the table is.
//
// Text: "\", "{" and "}" are escaped, line ends become \line and TABs \tab, other
// control characters a space; characters outside ASCII are written as \uN
// followed by their code page 1252 byte (or "?") for readers without Unicode.
// Bytes that are no UTF-8 are written as U+FFFD; the run counts every value it
// had to change. Each table row carries its own row definition.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/ZelE2Cell.h"
#include "export/ZelESettings.h"

namespace korvane {

// Settings of the RTF format.
struct TZelERTFOptions {
  // Kept for settings files; pictures are embedded as they are stored.
  bool ConvertPictureToJPEG = true;
  // Adds a Windows metafile alternative to every bitmap, for readers that know
  // no embedded bitmaps.
  bool CreateUnlikedPictureType = false;
  bool operator==(const TZelERTFOptions&) const = default;

  static constexpr const char* kSection = "RTF";
  static constexpr bool kBlankLineBefore = true;
  static const std::vector<TZelESettingKey<TZelERTFOptions>>& Keys() {
    using S = TZelERTFOptions;
    static const std::vector<TZelESettingKey<S>> keys = {
        BoolKey("ConvertPictureToJPEG", &S::ConvertPictureToJPEG),
        BoolKey("CreateUnlikedPictureType", &S::CreateUnlikedPictureType),
    };
    return keys;
  }
};

class TZelExportToRTF : public TZelExportToCellFile {
 public:
  TZelExportToRTF();
  ~TZelExportToRTF() override;

  TZelERTFOptions& RTFOptions() { return FormatSettings.Get<TZelERTFOptions>(teRTF); }
  const TZelERTFOptions& RTFOptionsValue() const;

  void GetDefaultExt(std::string& ext) const override { ext = ".RTF"; }
  bool CanAppend() const override { return false; }
  void WriteString(std::string_view text) override;
  void BeginExecute() override;
  void EndExecute() override;
  void WriteFileBegin() override;
  void WriteFileEnd() override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginTable() override;
  void EndTable() override;
  void BeginRow() override;
  void EndRow() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                       TAlignment alignment, const TFontSpec* font, TColor color) override;
  void CloseFile() override;

  // Values of the last run that were written changed (characters RTF cannot
  // hold, bytes that are no UTF-8).
  int ChangedValues() const { return changedValues_; }

  // Building blocks, open for tests.
  // Appends UTF-8 text as RTF text (see above). A CR at the end of text is taken
  // as a line end. Answers how many characters were replaced.
  static size_t AppendRtfText(std::string& out, std::string_view utf8);
  // One character as \uN with its fallback byte (two of them past U+FFFF).
  static void AppendUnicode(std::string& out, uint32_t codePoint);
  // The byte of a character in code page 1252, or 0 when it has none.
  static uint8_t Cp1252Byte(uint32_t codePoint);
  // A measure of the page setup in twips (1/1440 inch), rounded.
  static int TwipsOf(double value, TZelEMeasure measure);
  // The right edges of the cells of a row from column widths in characters:
  // from 36 twips on, each width x 13 x 20 + 10 twips. A row wider than the
  // page's text is narrowed to it.
  static std::vector<int> CellEdges(const std::vector<int>& widths);
  // A minimal Windows metafile (no placeable header) that draws the packed
  // device-independent bitmap dib (width x height pixels) at 0,0; empty when the
  // bitmap is too large for a metafile record.
  static std::string MetafileOfDib(std::string_view dib, int width, int height);

 protected:
  bool StreamsBlobs() const override { return true; }

 private:
  class TSpool;
  void Body(std::string_view s);
  int FontNumber(const std::string& name);
  int ColorNumber(TColor color);
  // The widths of the cells the row begun now holds.
  std::vector<int> RowWidths() const;
  void RowDefinition(const std::vector<int>& widths);
  // Twips a picture of the cell being written may take across.
  int CellRoom() const;
  // Writes a graphic cell's picture; false when its BLOB holds none RTF can embed.
  bool WritePicture(const TField& field, bool streamed);
  void CellText(std::string_view text, bool streamed, const TField* field);
  void Changed(size_t replaced);
  void OpenCell(TAlignment alignment);
  void FlushReversed();

  std::unique_ptr<TSpool> spool_;
  bool spooling_ = false;
  std::vector<std::string> fonts_;
  std::vector<std::string> colors_;
  std::vector<int> widths_;  // per column, characters (0: not set)
  TZelERTFOptions run_;
  bool rowOpen_ = false;
  bool tableStarted_ = false;
  int rowIndex_ = 0;
  int textWidth_ = 8604;
  std::vector<int> rowEdges_;  // of the row being written  // twips between the margins, less the row's indent
  int cellsDefined_ = 0;
  int cellsWritten_ = 0;
  int changedValues_ = 0;
  // Pictures whose bitmap could not be read (written as text), the first few named.
  static constexpr size_t kNamedPictureErrors = 5;
  int64_t unreadPictures_ = 0;
  std::vector<std::string> pictureErrors_;
  bool cellChanged_ = false;
  std::string cell_;
  // The reversed layout turns records into columns: its cells are kept and
  // written as rows when the table ends.
  std::map<int, std::map<int, std::string>> reversed_;
  std::string* capture_ = nullptr;
};

}  // namespace korvane
