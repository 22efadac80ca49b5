#pragma once
// An office suite that records what the Excel, Word and office-document writers
// ask of it, in place of LibreOffice. Workbooks and documents keep their state
// in objects the test holds after the run; Store writes a small text file so
// the run's output can be read back too.

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/office/office.h"

namespace korvane::test {

struct TFakeSheetState {
  std::string Name;
  std::map<std::pair<int, int>, office::TCell> Cells;  // (row, col)
  int UsedEnd = 0;                                     // what UsedRowsEnd answers
  std::vector<std::pair<int, int>> Blocks;             // top row and height of each SetBlock
  std::map<int, std::string> ColumnFormats;
  std::map<std::pair<int, int>, std::string> CellFormats;
  std::map<int, int> Widths;
  std::vector<std::string> Calls;  // the other calls, one line each
};

struct TFakeBookState {
  std::vector<std::shared_ptr<TFakeSheetState>> Sheets;
  std::string StoredFilter;
  bool Closed = false;
  std::shared_ptr<TFakeSheetState> Find(const std::string& name) const {
    for (const auto& s : Sheets)
      if (s->Name == name) return s;
    return nullptr;
  }
};

struct TFakeDocState {
  // "P text" for paragraphs, "T <content.xml>" for inserted documents, in order.
  std::vector<std::string> Parts;
  std::string StoredFilter;
  bool Closed = false;
  bool Opened = false;  // an existing file was opened
};

struct TFakeOffice {
  int Started = 0, Ended = 0;
  std::vector<std::shared_ptr<TFakeBookState>> Books;
  std::vector<std::shared_ptr<TFakeDocState>> Docs;
  std::vector<std::string> Opened;  // paths of OpenWorkbook / OpenDocument
  // The workbook an OpenWorkbook call gives (a copy).
  TFakeBookState Existing;
  bool FailStore = false;
  std::vector<std::string> Filters = {"MS Word 97", "writer8", "MS Word 2007 XML", "Rich Text Format",
                                      "HTML (StarWriter)", "DocBook File", "Text", "Text (encoded)",
                                      "writer_pdf_Export"};
};

// The content.xml of a stored zip (entries stored, as TZelEStoredZip writes them).
inline std::string ZipEntry(const std::string& zip, const std::string& name) {
  size_t at = 0;
  while (at + 30 <= zip.size() && zip.compare(at, 4, "PK\x03\x04") == 0) {
    auto u16 = [&](size_t p) { return static_cast<size_t>(static_cast<uint8_t>(zip[p]) | static_cast<uint8_t>(zip[p + 1]) << 8); };
    auto u32 = [&](size_t p) { return u16(p) | u16(p + 2) << 16; };
    const size_t size = u32(at + 18), nameLen = u16(at + 26), extra = u16(at + 28);
    const std::string n = zip.substr(at + 30, nameLen);
    const size_t data = at + 30 + nameLen + extra;
    if (n == name) return zip.substr(data, size);
    at = data + size;
  }
  return {};
}

class TFakeSheet : public office::TSheet {
 public:
  explicit TFakeSheet(std::shared_ptr<TFakeSheetState> s) : s_(std::move(s)) {}
  std::string Name() override { return s_->Name; }
  int UsedRowsEnd() override { return s_->UsedEnd; }
  void SetBlock(int row, int col, const std::vector<std::vector<office::TCell>>& rows) override {
    s_->Blocks.emplace_back(row, static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < rows[r].size(); ++c)
        if (rows[r][c].Kind != office::TCell::kEmpty)
          s_->Cells[{row + static_cast<int>(r), col + static_cast<int>(c)}] = rows[r][c];
  }
  void SetColumnFormat(int col, const std::string& f) override { s_->ColumnFormats[col] = f; }
  void SetCellFormat(int row, int first, int last, const std::string& f) override {
    for (int c = first; c <= last; ++c) s_->CellFormats[{row, c}] = f;
  }
  void SetColumnWidth(int col, int w) override { s_->Widths[col] = w; }
  void ShowColumns(int a, int b) override { Log("Show " + std::to_string(a) + "-" + std::to_string(b)); }
  void FitColumns(int a, int b) override { Log("Fit " + std::to_string(a) + "-" + std::to_string(b)); }
  void SetRowHeight(int row, int h) override { Log("Height " + std::to_string(row) + "=" + std::to_string(h)); }
  void SetStyle(int row, int a, int b, const office::TStyle& st) override {
    Log("Style " + std::to_string(row) + " " + std::to_string(a) + "-" + std::to_string(b) +
        (st.HasBackground ? " back" : "") + (st.Bold ? " bold" : ""));
  }
  void SetRowLines(int r0, int r1, int, int) override { Log("Lines " + std::to_string(r0) + "-" + std::to_string(r1)); }
  void Merge(int row, int a, int b) override {
    Log("Merge " + std::to_string(row) + " " + std::to_string(a) + "-" + std::to_string(b));
  }
  void FreezeRows(int row) override { Log("Freeze " + std::to_string(row)); }
  void Protect(const std::string& pw) override { Log("Protect " + pw); }
  void InsertPicture(int row, int col, const std::string& file, int, int) override {
    std::ifstream f(file, std::ios::binary);
    Log("Picture " + std::to_string(row) + "," + std::to_string(col) + (f ? " file" : " nofile"));
  }
  void SetPage(const office::TPage& p) override { Log("Page landscape=" + std::to_string(p.Landscape)); }

 private:
  void Log(const std::string& s) { s_->Calls.push_back(s); }
  std::shared_ptr<TFakeSheetState> s_;
};

class TFakeWorkbook : public office::TWorkbook {
 public:
  TFakeWorkbook(std::shared_ptr<TFakeBookState> b, TFakeOffice& o) : b_(std::move(b)), o_(o) {}
  std::vector<std::string> SheetNames() override {
    std::vector<std::string> out;
    for (const auto& s : b_->Sheets) out.push_back(s->Name);
    return out;
  }
  office::TSheet* Sheet(const std::string& name) override {
    auto s = b_->Find(name);
    if (!s) return nullptr;
    auto& slot = sheets_[name];
    if (!slot) slot = std::make_unique<TFakeSheet>(s);
    return slot.get();
  }
  office::TSheet& AddSheet(const std::string& name) override {
    auto s = std::make_shared<TFakeSheetState>();
    s->Name = name;
    b_->Sheets.push_back(s);
    return *Sheet(name);
  }
  void RemoveSheet(const std::string& name) override {
    sheets_.erase(name);
    std::erase_if(b_->Sheets, [&](const auto& s) { return s->Name == name; });
  }
  void Store(const std::string& path, const std::string& filter) override {
    if (o_.FailStore) throw std::runtime_error("disk full");
    b_->StoredFilter = filter;
    std::ofstream f(path, std::ios::binary);
    f << "workbook " << filter << "\n";
  }
  void Close() noexcept override { b_->Closed = true; }

 private:
  std::shared_ptr<TFakeBookState> b_;
  TFakeOffice& o_;
  std::map<std::string, std::unique_ptr<TFakeSheet>> sheets_;
};

class TFakeDocument : public office::TDocument {
 public:
  TFakeDocument(std::shared_ptr<TFakeDocState> d, TFakeOffice& o) : d_(std::move(d)), o_(o) {}
  void AppendParagraph(const std::string& text, const office::TStyle&) override { d_->Parts.push_back("P " + text); }
  void AppendDocument(const std::string& path) override {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    d_->Parts.push_back("T " + ZipEntry(ss.str(), "content.xml"));
  }
  void SetPage(const office::TPage&) override {}
  void Store(const std::string& path, const std::string& filter) override {
    if (o_.FailStore) throw std::runtime_error("disk full");
    d_->StoredFilter = filter;
    std::ofstream f(path, std::ios::binary);
    f << "document " << filter << "\n";
  }
  void Close() noexcept override { d_->Closed = true; }

 private:
  std::shared_ptr<TFakeDocState> d_;
  TFakeOffice& o_;
};

class TFakeSuite : public office::TSuite {
 public:
  explicit TFakeSuite(TFakeOffice& o) : o_(o) { ++o_.Started; }
  ~TFakeSuite() override { ++o_.Ended; }
  std::unique_ptr<office::TWorkbook> NewWorkbook() override {
    auto b = std::make_shared<TFakeBookState>();
    auto s = std::make_shared<TFakeSheetState>();
    s->Name = "Sheet1";
    b->Sheets.push_back(s);
    o_.Books.push_back(b);
    return std::make_unique<TFakeWorkbook>(b, o_);
  }
  std::unique_ptr<office::TWorkbook> OpenWorkbook(const std::string& path) override {
    o_.Opened.push_back(path);
    auto b = std::make_shared<TFakeBookState>();
    for (const auto& s : o_.Existing.Sheets) b->Sheets.push_back(std::make_shared<TFakeSheetState>(*s));
    o_.Books.push_back(b);
    return std::make_unique<TFakeWorkbook>(b, o_);
  }
  std::unique_ptr<office::TDocument> NewDocument() override {
    auto d = std::make_shared<TFakeDocState>();
    o_.Docs.push_back(d);
    return std::make_unique<TFakeDocument>(d, o_);
  }
  std::unique_ptr<office::TDocument> OpenDocument(const std::string& path) override {
    o_.Opened.push_back(path);
    auto d = std::make_shared<TFakeDocState>();
    d->Opened = true;
    o_.Docs.push_back(d);
    return std::make_unique<TFakeDocument>(d, o_);
  }
  std::vector<std::string> TextExportFilters() override { return o_.Filters; }

 private:
  TFakeOffice& o_;
};

// Puts the fake in place of LibreOffice for the life of the object.
struct TFakeOfficeScope {
  TFakeOffice Office;
  TFakeOfficeScope() {
    office::SetOfficeFactory([this](office::TApp) { return std::make_unique<TFakeSuite>(Office); });
  }
  ~TFakeOfficeScope() { office::SetOfficeFactory({}); }
};

}  // namespace korvane::test
