#pragma once
// The cell-file writer base: turns an export run into calls a format overrides
// (file begin, header lines, title rows, one row of cells per record, footer
// lines, file end). It owns the output, splits it into several files, appends to
// an existing file where the format allows it, converts text to the chosen
// character set, applies the colour style and OnGetCellParams, and lays the
// records out as rows, as columns, or one line per field.
//
// A format usually overrides GetDefaultExt, WriteFileBegin, WriteFileEnd,
// BeginRow, EndRow and WriteData, and writes bytes with WriteString.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportDS.h"
#include "export/ZelECodePage.h"
#include "export/ZelEOutput.h"

namespace korvane {

// Text in the chosen character set. Text arrives as UTF-8; csANSI_WINDOWS keeps
// it, csASCII_MSDOS converts it to the OEM code page (unmappable characters
// become "?"), csEBCDIC maps each character (one byte per character; characters
// outside ASCII become 4Bh).
std::string ConvertCharacterSet(const std::string& utf8, TCharacterSet cs, const std::string& oemCodePage);
// The length of the longest start of s that ends with a whole UTF-8 sequence (a
// sequence cut off at the end waits for the next piece; bytes that start none
// are taken as they are).
size_t WholeUtf8Prefix(std::string_view s);
// The EBCDIC byte of an ASCII byte (bytes 0..31 unchanged, 127..255 give 4Bh).
uint8_t AsciiToEbcdic(uint8_t c);

class TZelExportToCellFile : public TZelExportBaseComponent {
 public:
  TZelExportToCellFile();
  ~TZelExportToCellFile() override;

  // Runs a complete export into a caller's stream (BeginExecute and EndExecute
  // included, no file, no splitting), or, with nullptr, is the body of Execute.
  void ExportToStream(TZelEOutputStream* stream);

  // --- operations a format overrides -------------------------------------
  virtual bool CanAppend() const { return false; }
  virtual bool CanWriteTitle() const { return true; }
  virtual void CreateFileStream(const std::string& fileName);
  virtual void WriteHeader();
  virtual void WriteFooter();
  virtual void WriteString(std::string_view text);
  virtual void WriteFileBegin();
  virtual void WriteFileEnd() {}
  virtual void WriteDimension(int rowCount, int colCount) { (void)rowCount; (void)colCount; }
  virtual void WriteColumnWidth(int col, int width) { (void)col; (void)width; }
  virtual void BeginTable();
  virtual void EndTable();
  // A row begins and ends. The base keeps its own counts (current column, rows,
  // flushing) around these calls, so an override need not call it.
  virtual void BeginRow() {}
  virtual void EndRow() {}
  // One cell. row and col are 0-based output coordinates within the current
  // file; field is nullptr for header, footer, band, title and blank cells;
  // font is nullptr for blank cells. A data cell's native value is CellNativeValue().
  virtual void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                         TAlignment alignment, const TFontSpec* font, TColor color) {
    (void)field, (void)cellType, (void)row, (void)col, (void)text, (void)alignment, (void)font, (void)color;
  }
  // A cell covering mergeCount columns (the band row).
  virtual void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                               TAlignment alignment, const TFontSpec* font, TColor color);
  virtual void CreateFile(const std::string& fileName, int fileNumber);
  virtual void CloseFile();

  // Whether the writer's texts are converted to CharacterSet (text formats ask
  // for it; typed and UTF-8 formats take the text as it is).
  virtual bool UsesCharacterSet() const { return false; }

  // Whether the writer writes its texts in the run's code page (8-bit formats:
  // dBase, Excel 2.x, SPSS) rather than UTF-8.
  virtual bool UsesCodePage() const { return false; }
  // The code page such a writer writes when CodePage is 0 (the one its readers
  // take its files to be in); 0: the table's, as OutputCodePage decides.
  virtual int DefaultCodePage() const { return 0; }
  // The code page of the run (valid during a run of such a writer).
  int RunCodePage() const { return runCodePage_; }
  // Appends a UTF-8 text in the run's code page, at most maxBytes bytes of it,
  // cut only between characters. A value with characters the code page lacks
  // (written "?") or cut counts once in TotalErrors; the run's final message
  // says how many. Answers whether the value was changed.
  bool AppendInCodePage(std::string& out, std::string_view utf8, size_t maxBytes = std::string::npos);
  // The converter of the run (nullptr outside a run of such a writer), for a
  // value converted in pieces, and the count of one such value.
  const TZelECodePageText* RunCodePageText() const { return codePageText_.get(); }
  void CountCodePageChange(const TZelECodePageText::TResult& r);
  void EndExecute() override;

  // BLOBs the table says are longer than this many bytes go to a writer that
  // takes them in pieces (StreamsBlobs) piece by piece, so that memory stays
  // flat whatever their length.
  int64_t StreamBlobsAbove = int64_t{1} << 20;

  // --- run state for formats --------------------------------------------
  // The native value of the data cell being written (cvText for header, footer,
  // band and title cells, whose text is the value).
  const TZelECellValue& CellNativeValue() const { return cellValue_; }
  // Whether an OnGetCellParams handler put another text in place of the data
  // cell's value: a writer of typed cells then writes that text, read as the
  // cell's type where it can be (ReadCellNumber), not the value.
  bool CellTextReplaced() const { return cellTextReplaced_; }
  // Reads a number written with the run's decimal and thousand separators and
  // currency string; false when the text is no finite number.
  bool ReadCellNumber(const std::string& text, double& value) const;
  TZelEOutputStream* Stream() const { return stream_; }
  bool FileMode() const { return fileMode_; }
  bool Merged() const { return merged_; }
  bool InTable() const { return inTable_; }
  int TitleRows() const { return titleRows_; }
  int FileNumber() const { return fileNumber_; }
  // The name of the file being written (empty with a caller's stream).
  const std::string& CurrentFileName() const { return currentFileName_; }
  // True while the blank row after the titles is written.
  bool InBlankTitleRow() const { return inBlankRow_; }
  // The detail level being written, or nullptr at the main level.
  const TZelEDataLevel* CurrentDetailLevel() const { return Statistic.CurrentLevel; }
  // The exported columns of the level being written.
  const TZelEColumns& CurrentColumns() const;

  // A further file that belongs to the current output (a memo file beside a
  // table): written and kept or thrown away together with the run's files.
  TZelEOutputStream& CreateSideFile(const std::string& path);

  // The file name of file number n (0 = the name itself, else "name001.ext").
  static std::string SplitFileName(const std::string& fileName, int fileNumber);

 protected:
  void ExportData() override;
  void FinishOutput(bool keep) override;
  bool OutputWritten() const override { return outputWritten_; }
  int RecordsWritten() const override { return Statistic.RecordsExported; }

  void WriteTitles(TZelECustomDataEngine& engine, const TZelEColumns& columns);
  void WriteRecord(TZelECustomDataEngine& engine, const TZelEColumns& columns, int& rowCounter, int recNo,
                   TZelEDataLevels* detailLevels);
  void ExportDetailLevels(TZelECustomDataEngine& engine, TZelEDataLevels& levels, int& rowCounter);

  // Converts text to the character set, in place (when the writer uses one).
  void ConvertText(std::string& text) const;
  // Whether the writer takes long BLOBs in pieces. For such a cell WriteData gets
  // an empty text, StreamedBlob() is its field, and ReadBlobText hands over the
  // cell's text (as it would have been, converted to the character set) in
  // pieces of whole characters; a writer may read it more than once.
  virtual bool StreamsBlobs() const { return false; }
  const TField* StreamedBlob() const { return streamedBlob_; }
  void ReadBlobText(const TField& field, const std::function<void(std::string_view)>& sink) const;
  // The BLOB's bytes as the dataset holds them (what CreateBlobStream gives:
  // memo text recoded, formatted memos and binary data as stored) in bounded
  // pieces, for a writer that encodes the bytes itself.
  void ReadBlobBytes(const TField& field, const std::function<void(std::string_view)>& sink) const;
  // The run's error for a picture that cannot be read: it names the record and
  // field, or the column of a picture without a field.
  EZelExportError PictureError(const TField* field, int col, const std::string& why) const;
  // Rows and cells as the run writes them: the base's bookkeeping around the
  // format's operations.
  void StartRow();
  void FinishRow();
  // Header, footer, band and title cells: the text is the value.
  void TextCellValue();
  void PutData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
               TAlignment alignment, const TFontSpec* font, TColor color);
  void PutMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                     TAlignment alignment, const TFontSpec* font, TColor color);

 private:
  struct TCellSource {
    int index;             // column index in the collection
    const TZelEColumn* column;
    TField* field;         // resolved once per run
  };
  std::vector<TCellSource> ResolveColumns(TZelECustomDataEngine& engine, const TZelEColumns& columns);
  void CellValue(TZelECustomDataEngine& engine, const TCellSource& src, int recNo);
  void PrepareLevels(TZelEDataLevels& levels);
  void ReleaseLevels(TZelEDataLevels& levels);
  void WriteFileLayout();
  // Puts the finished parts before the current one in place.
  void CommitFinishedFiles();

  TZelEOutputStream* stream_ = nullptr;
  bool fileMode_ = false;
  bool merged_ = false;
  bool inTable_ = false;
  bool inBlankRow_ = false;
  bool outputWritten_ = false;
  bool runFailed_ = false;
  int titleRows_ = 0;
  int fileNumber_ = 0;
  int rowsSinceFlush_ = 0;
  int rowCounter_ = 0;
  int recordInFile_ = 0;
  std::string currentFileName_;
  TFontSpec font_;
  std::vector<TCellSource> mainSources_;
  // The current cell.
  std::string cellText_;
  TCellType cellType_ = ctString;
  TZelECellValue cellValue_;
  const TField* streamedBlob_ = nullptr;
  bool cellTextReplaced_ = false;
  // Files of the run, kept until it ends.
  std::unique_ptr<TZelEFileStream> currentFile_;
  std::vector<std::unique_ptr<TZelEFileStream>> finishedFiles_;
  // Parts finished before the current one, not yet put in place.
  std::vector<std::unique_ptr<TZelEFileStream>> partsPending_;
  std::chrono::steady_clock::time_point pendingSince_;
  std::vector<std::unique_ptr<TZelEFileStream>> sideFiles_;
  std::vector<std::unique_ptr<TZelEStringStream>> sideMemory_;
  std::string oemCodePage_;
  // The run's code page and the values it changed.
  int runCodePage_ = 0;
  std::unique_ptr<TZelECodePageText> codePageText_;
  int codePageReplaced_ = 0, codePageCut_ = 0;
};

}  // namespace korvane
