#pragma once
// Word and the office-suite text document, through LibreOffice Writer: the run
// builds a text document in a headless Writer of its own. Header and footer
// lines are paragraphs added at the end of the text; the table arrives in one
// piece: its rows, cell looks, merged cells and pictures are written as a small
// OpenDocument text file, which Writer inserts at the end of the document.
//
// A text table holds at most 63 columns; the run says how many columns it left
// out. Word stores by the output's extension (.doc, .docx, .odt, .rtf); the
// office-suite target stores with the filter its FilterName names.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "export/ZelE2Cell.h"
#include "export/formats/ZelE2Excel.h"
#include "platform/office/office.h"

namespace korvane {

// Word's colour index of an RGB colour ($00BBGGRR): 1 black ... 16 silver, 0 none.
int WordColorIndex(TColor color);

// Column widths of a table fitted into a width: unset widths (0) count as 0,
// and when the widths but the last add up to more than tableWidth, every width
// but the last two is scaled by tableWidth / total. The last one is kept.
std::vector<double> FitColumnWidths(std::vector<double> widths, double tableWidth);

// A zip archive with stored entries (OpenDocument packages: "mimetype" first).
class TZelEStoredZip {
 public:
  void Add(const std::string& name, std::string_view data);
  std::string Finish();

 private:
  struct TEntry {
    std::string Name;
    uint32_t Crc, Size, Offset;
  };
  std::string out_;
  std::vector<TEntry> entries_;
};

// The table of a text document as an OpenDocument text file.
class TZelEOdfTable {
 public:
  struct TCellLook {
    office::TStyle Style;
    bool operator<(const TCellLook& o) const;
  };
  TZelEOdfTable(int columns, bool colLines, bool rowLines);
  // Relative column widths (0 for unset).
  void SetColumnWidths(const std::vector<double>& widths) { widths_ = widths; }
  // Absolute table width in points (0: the width of the page).
  void SetTableWidth(double points) { tableWidth_ = points; }
  // A text cell; answers how many characters XML could not carry (left out).
  size_t SetText(int row, int col, const std::string& text, const office::TStyle& style, int span = 1);
  // A picture cell (the image's bytes and extension, its size in pixels).
  void SetPicture(int row, int col, std::string_view bytes, const std::string& extension, int width, int height,
                  const office::TStyle& style);
  int Columns() const { return columns_; }
  // The .odt file's bytes.
  std::string Document() const;

 private:
  struct TCell {
    std::string Xml;  // the paragraph content
    int Span = 1;
    int Look = -1;
  };
  int LookIndex(const office::TStyle& style);
  int columns_;
  bool colLines_, rowLines_;
  double tableWidth_ = 0;
  std::vector<double> widths_;
  std::map<int, std::map<int, TCell>> rows_;
  std::vector<office::TStyle> looks_;
  std::vector<std::pair<std::string, std::string>> pictures_;  // name in the package, bytes
};

// What Word and the office-suite target share.
class TZelEOfficeTextWriter : public TZelExportToCellFile {
 public:
  ~TZelEOfficeTextWriter() override;
  // The most columns a table gets.
  static constexpr int kMaxTableColumns = 63;

  void BeginExecute() override;
  void EndExecute() override;
  void CreateFileStream(const std::string& fileName) override;
  void WriteDimension(int rowCount, int colCount) override;
  void WriteColumnWidth(int col, int width) override;
  void BeginTable() override;
  void EndTable() override;
  void WriteData(const TField* field, TCellType cellType, int row, int col, const std::string& text,
                 TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteMergedData(TCellType cellType, int row, int col, int mergeCount, const std::string& text,
                       TAlignment alignment, const TFontSpec* font, TColor color) override;
  void WriteFooter() override;
  void CloseFile() override;

 protected:
  // The filter and the extension of the stored file (the name is the output's).
  virtual void StoreFilter(const std::string& fileName, std::string& filter, std::string& extension) = 0;
  // Before anything is written: throws when the document cannot be stored so.
  virtual void CheckFilter(office::TSuite& suite, const std::string& filter) { (void)suite, (void)filter; }
  virtual bool UsesPageSetup() const { return false; }
  // A paragraph's looks from the cell's.
  virtual office::TStyle ParagraphStyle(TAlignment alignment, const TFontSpec* font, TColor color) const;

 private:
  void InsertTable();

  std::unique_ptr<office::TSuite> suite_;
  std::unique_ptr<office::TDocument> doc_;
  std::unique_ptr<TZelEOfficeScratch> scratch_;
  std::unique_ptr<TZelEOdfTable> table_;
  std::string filter_, extension_;
  std::vector<double> columnWidths_;
  int rowCount_ = 0, colCount_ = 0;
  std::set<int> droppedColumns_;
  int droppedValues_ = 0, xmlChanged_ = 0, cut_ = 0;
};

class TZelExportToWord : public TZelEOfficeTextWriter {
 public:
  TZelExportToWord();
  void GetDefaultExt(std::string& ext) const override { ext = ".DOC"; }
  // Writer's filter of an output name: .doc "MS Word 97", .docx "MS Word 2007
  // XML", .odt "writer8", .rtf "Rich Text Format"; others "MS Word 97".
  static std::string FilterOfName(const std::string& fileName);

 protected:
  void StoreFilter(const std::string& fileName, std::string& filter, std::string& extension) override;
  bool UsesPageSetup() const override { return true; }
  office::TStyle ParagraphStyle(TAlignment alignment, const TFontSpec* font, TColor color) const override;
};

}  // namespace korvane
