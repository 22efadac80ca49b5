#pragma once
// The office suite as the Excel, Word and office-document writers see it: a
// workbook of named sheets whose cells are set a block at a time, and a text
// document that grows at its end by paragraphs and by whole tables. A real suite
// is LibreOffice, driven headless through its UNO bridge by a plugin that is
// loaded only when one of these formats is used (StartOffice); the tests put a
// recording suite in its place (SetOfficeFactory).
//
// Rows and columns are 0-based; lengths are in 1/100 mm; colours are RGB
// (0xRRGGBB). Every operation throws std::runtime_error with the suite's message
// when the suite fails it.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::office {

// One cell of a block: empty (left as the sheet has it), a text or a number.
struct TCell {
  enum TKind : uint8_t { kEmpty, kText, kNumber };
  TKind Kind = kEmpty;
  double Number = 0;
  std::string Text;  // UTF-8
  static TCell OfText(std::string s) {
    TCell c;
    c.Kind = kText;
    c.Text = std::move(s);
    return c;
  }
  static TCell OfNumber(double d) {
    TCell c;
    c.Kind = kNumber;
    c.Number = d;
    return c;
  }
  bool operator==(const TCell&) const = default;
};

// Character and cell looks. Unset parts are left as the suite has them.
struct TStyle {
  bool HasFont = false;
  std::string FontName;
  double FontSize = 0;  // points
  uint32_t FontColor = 0;
  bool Bold = false, Italic = false, Underline = false;
  bool HasBackground = false;
  uint32_t Background = 0xFFFFFF;
  int Alignment = -1;  // -1 unset, 0 left, 1 right, 2 centre
  bool operator==(const TStyle&) const = default;
};

// Page of a sheet or document; values below 0 are left as they are.
struct TPage {
  int Landscape = -1;  // 1 landscape, 0 portrait
  int TopMargin = -1, BottomMargin = -1, LeftMargin = -1, RightMargin = -1;
  int Zoom = -1;       // per cent, sheets only
};

class TSheet {
 public:
  virtual ~TSheet() = default;
  virtual std::string Name() = 0;
  // The row below the last one in use, counted from the top of the sheet (0 for
  // an empty sheet), wherever the used area begins.
  virtual int UsedRowsEnd() = 0;
  // A rectangular block at (row, col): every inner vector one row, all of one length.
  virtual void SetBlock(int row, int col, const std::vector<std::vector<TCell>>& rows) = 0;
  // A number format code (as Calc writes it in the en-US locale) for a whole
  // column or one cell.
  virtual void SetColumnFormat(int col, const std::string& format) = 0;
  virtual void SetCellFormat(int row, int firstCol, int lastCol, const std::string& format) = 0;
  virtual void SetColumnWidth(int col, int width) = 0;
  virtual void ShowColumns(int firstCol, int lastCol) = 0;
  virtual void FitColumns(int firstCol, int lastCol) = 0;
  virtual void SetRowHeight(int row, int height) = 0;
  // Looks of the cells firstCol..lastCol of a row.
  virtual void SetStyle(int row, int firstCol, int lastCol, const TStyle& style) = 0;
  // Lines above and below every row of the cells firstRow..lastRow, firstCol..lastCol.
  virtual void SetRowLines(int firstRow, int lastRow, int firstCol, int lastCol) = 0;
  virtual void Merge(int row, int firstCol, int lastCol) = 0;
  // Rows above row stay in view.
  virtual void FreezeRows(int row) = 0;
  virtual void Protect(const std::string& password) = 0;
  // A picture file anchored to a cell, width and height in 1/100 mm.
  virtual void InsertPicture(int row, int col, const std::string& file, int width, int height) = 0;
  virtual void SetPage(const TPage& page) = 0;
};

class TWorkbook {
 public:
  virtual ~TWorkbook() = default;
  virtual std::vector<std::string> SheetNames() = 0;
  // The sheet of that name (nullptr when there is none); the workbook owns it.
  virtual TSheet* Sheet(const std::string& name) = 0;
  // A new sheet of that name after the others.
  virtual TSheet& AddSheet(const std::string& name) = 0;
  virtual void RemoveSheet(const std::string& name) = 0;
  // Stores under path with a filter of the suite ("Calc MS Excel 2007 XML").
  virtual void Store(const std::string& path, const std::string& filter) = 0;
  // Closes without storing. Never throws.
  virtual void Close() noexcept = 0;
};

class TDocument {
 public:
  virtual ~TDocument() = default;
  // A paragraph at the end of the text.
  virtual void AppendParagraph(const std::string& text, const TStyle& style) = 0;
  // The content of another document (a table) inserted at the end of the text.
  virtual void AppendDocument(const std::string& path) = 0;
  virtual void SetPage(const TPage& page) = 0;
  virtual void Store(const std::string& path, const std::string& filter) = 0;
  virtual void Close() noexcept = 0;
};

enum class TApp { Calc, Writer };

// One running suite, shut down when destroyed.
class TSuite {
 public:
  virtual ~TSuite() = default;
  virtual std::unique_ptr<TWorkbook> NewWorkbook() = 0;
  // An existing file of any kind the suite reads; the suite detects its type.
  virtual std::unique_ptr<TWorkbook> OpenWorkbook(const std::string& path) = 0;
  virtual std::unique_ptr<TDocument> NewDocument() = 0;
  virtual std::unique_ptr<TDocument> OpenDocument(const std::string& path) = 0;
  // The names of the suite's filters that store a text document.
  virtual std::vector<std::string> TextExportFilters() = 0;
};

// What is missing for the suite's application (Calc, Writer): "" when it can
// be started, else a sentence naming the package to install. Answered once per
// program run and kept.
std::string OfficeUnavailable(TApp app);
// Starts a suite (or the tests' one). Throws std::runtime_error.
std::unique_ptr<TSuite> StartOffice(TApp app);

// Tests: a suite factory used in place of LibreOffice (and answering "" to
// OfficeUnavailable); an empty one restores LibreOffice.
using TSuiteFactory = std::function<std::unique_ptr<TSuite>(TApp)>;
void SetOfficeFactory(TSuiteFactory factory);

// A file: URL of a path: absolute, every byte outside the unreserved characters
// and "/" percent-encoded ("#" as %23, "%" as %25).
std::string FileUrl(const std::string& path);

// The soffice process and its private profile (used by the plugin loader; plain
// POSIX, no UNO).
struct TProcessOptions {
  std::string Program = "soffice";  // found on PATH
  std::string Profile;              // folder of the private profile
  std::string PipeName;
  std::string Version;              // the installed version ("7.4.7.2"), written into the profile
};
// The command line that starts soffice headless with a private profile,
// accepting one pipe connection.
std::vector<std::string> SofficeArguments(const TProcessOptions& o);
// Writes registrymodifications.xcu of a new profile so that soffice takes it as
// already set up for this version (no first-start work).
void PrepareProfile(const std::string& profile, const std::string& version);

}  // namespace korvane::office
