// The office plugin: workbooks and text documents of a headless LibreOffice,
// reached over a UNO pipe connection. Loaded with dlopen by the office loader,
// which starts the soffice process and hands its pipe name to
// korvane_office_connect. Every UNO error leaves here as std::runtime_error.

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/awt/FontUnderline.hpp>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/sheet/XViewFreezable.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/CellHoriJustify.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include "platform/office/office.h"

namespace korvane::office {
namespace {

namespace css = ::com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using ::rtl::OUString;
using ::rtl::OUStringToOString;

OUString U(const std::string& s) { return OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8); }
std::string S(const OUString& s) { return OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr(); }

[[noreturn]] void Rethrow(const char* what) {
  try {
    throw;
  } catch (const css::uno::Exception& e) {
    std::string m = S(e.Message);
    throw std::runtime_error(std::string("LibreOffice: ") + what + (m.empty() ? " failed" : ": " + m));
  } catch (const std::exception&) {
    throw;
  } catch (...) {
    throw std::runtime_error(std::string("LibreOffice: ") + what + " failed");
  }
}

#define GUARD(what) \
  catch (...) {     \
    Rethrow(what);  \
  }

css::beans::PropertyValue Prop(const char* name, const Any& value) {
  css::beans::PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

Sequence<css::beans::PropertyValue> Args(const std::vector<css::beans::PropertyValue>& v) {
  return Sequence<css::beans::PropertyValue>(v.data(), static_cast<sal_Int32>(v.size()));
}

Reference<css::text::XTextRange> At(const Reference<css::text::XTextCursor>& c) {
  return Reference<css::text::XTextRange>(c.get());
}

void Set(const Reference<css::uno::XInterface>& o, const char* name, const Any& v) {
  Reference<css::beans::XPropertySet> ps(o, UNO_QUERY_THROW);
  ps->setPropertyValue(OUString::createFromAscii(name), v);
}

void CloseComponent(const Reference<css::lang::XComponent>& c) noexcept {
  if (!c.is()) return;
  try {
    Reference<css::util::XCloseable> cl(c, UNO_QUERY);
    if (cl.is()) cl->close(true);
    else c->dispose();
  } catch (...) {
    try {
      c->dispose();
    } catch (...) {
    }
  }
}

Reference<css::lang::XComponent> Load(const Reference<css::frame::XDesktop2>& desktop, const OUString& url) {
  Sequence<css::beans::PropertyValue> args = Args({Prop("Hidden", Any(true))});
  Reference<css::lang::XComponent> c = desktop->loadComponentFromURL(url, "_blank", 0, args);
  if (!c.is()) throw std::runtime_error("LibreOffice could not open " + S(url));
  return c;
}

void Store(const Reference<css::lang::XComponent>& doc, const std::string& path, const std::string& filter) {
  Reference<css::frame::XStorable> st(doc, UNO_QUERY_THROW);
  std::vector<css::beans::PropertyValue> args{Prop("FilterName", Any(U(filter))), Prop("Overwrite", Any(true))};
  if (filter == "Text (encoded)") args.push_back(Prop("FilterOptions", Any(OUString("UTF8,CRLF"))));
  st->storeToURL(U(FileUrl(path)), Sequence<css::beans::PropertyValue>(args.data(), static_cast<sal_Int32>(args.size())));
}

void ApplyPage(const Reference<css::lang::XComponent>& doc, const OUString& styleName, const TPage& page) {
  Reference<css::style::XStyleFamiliesSupplier> fs(doc, UNO_QUERY_THROW);
  Reference<css::container::XNameAccess> pages(fs->getStyleFamilies()->getByName("PageStyles"), UNO_QUERY_THROW);
  Reference<css::beans::XPropertySet> ps(pages->getByName(styleName), UNO_QUERY_THROW);
  if (page.TopMargin >= 0) ps->setPropertyValue("TopMargin", Any(static_cast<sal_Int32>(page.TopMargin)));
  if (page.BottomMargin >= 0) ps->setPropertyValue("BottomMargin", Any(static_cast<sal_Int32>(page.BottomMargin)));
  if (page.LeftMargin >= 0) ps->setPropertyValue("LeftMargin", Any(static_cast<sal_Int32>(page.LeftMargin)));
  if (page.RightMargin >= 0) ps->setPropertyValue("RightMargin", Any(static_cast<sal_Int32>(page.RightMargin)));
  if (page.Landscape >= 0) {
    bool now = false;
    ps->getPropertyValue("IsLandscape") >>= now;
    if (now != (page.Landscape == 1)) {
      css::awt::Size size;
      ps->getPropertyValue("Size") >>= size;
      std::swap(size.Width, size.Height);
      ps->setPropertyValue("IsLandscape", Any(page.Landscape == 1));
      ps->setPropertyValue("Size", Any(size));
    }
  }
  if (page.Zoom > 0) ps->setPropertyValue("PageScale", Any(static_cast<sal_Int16>(page.Zoom)));
}

void ApplyCharStyle(const Reference<css::beans::XPropertySet>& ps, const TStyle& s) {
  if (!s.HasFont) return;
  if (!s.FontName.empty()) ps->setPropertyValue("CharFontName", Any(U(s.FontName)));
  if (s.FontSize > 0) ps->setPropertyValue("CharHeight", Any(static_cast<float>(s.FontSize)));
  ps->setPropertyValue("CharColor", Any(static_cast<sal_Int32>(s.FontColor)));
  ps->setPropertyValue("CharWeight", Any(s.Bold ? css::awt::FontWeight::BOLD : css::awt::FontWeight::NORMAL));
  ps->setPropertyValue("CharPosture", Any(s.Italic ? css::awt::FontSlant_ITALIC : css::awt::FontSlant_NONE));
  ps->setPropertyValue("CharUnderline",
                       Any(s.Underline ? css::awt::FontUnderline::SINGLE : css::awt::FontUnderline::NONE));
}

// --- Calc ------------------------------------------------------------------------

class TUnoSheet : public TSheet {
 public:
  TUnoSheet(Reference<css::lang::XComponent> doc, Reference<css::sheet::XSpreadsheet> sheet, OUString name,
            std::map<std::string, sal_Int32>* formats)
      : doc_(std::move(doc)), sheet_(std::move(sheet)), name_(std::move(name)), formats_(formats) {}

  std::string Name() override { return S(name_); }

  int UsedRowsEnd() override try {
    Reference<css::sheet::XSheetCellCursor> cur = sheet_->createCursor();
    Reference<css::sheet::XUsedAreaCursor> used(cur, UNO_QUERY_THROW);
    used->gotoEndOfUsedArea(false);
    Reference<css::sheet::XCellRangeAddressable> addr(cur, UNO_QUERY_THROW);
    const css::table::CellRangeAddress a = addr->getRangeAddress();
    if (a.EndRow == 0 && a.EndColumn == 0 && sheet_->getCellByPosition(0, 0)->getType() == css::table::CellContentType_EMPTY)
      return 0;
    return a.EndRow + 1;
  }
  GUARD("reading the used area of a sheet")

  void SetBlock(int row, int col, const std::vector<std::vector<TCell>>& rows) override try {
    if (rows.empty() || rows[0].empty()) return;
    const sal_Int32 h = static_cast<sal_Int32>(rows.size()), w = static_cast<sal_Int32>(rows[0].size());
    Sequence<Sequence<Any>> data(h);
    Sequence<Any>* out = data.getArray();
    for (sal_Int32 r = 0; r < h; ++r) {
      out[r].realloc(w);
      Any* cells = out[r].getArray();
      const std::vector<TCell>& in = rows[static_cast<size_t>(r)];
      for (sal_Int32 c = 0; c < w; ++c) {
        const TCell& cell = in[static_cast<size_t>(c)];
        // Text is always a text cell, never read as a formula or a number.
        if (cell.Kind == TCell::kNumber) cells[c] <<= cell.Number;
        else if (cell.Kind == TCell::kText) cells[c] <<= U(cell.Text);
        else cells[c] <<= OUString();
      }
    }
    Reference<css::sheet::XCellRangeData> range(sheet_->getCellRangeByPosition(col, row, col + w - 1, row + h - 1),
                                                UNO_QUERY_THROW);
    range->setDataArray(data);
  }
  GUARD("writing cells")

  sal_Int32 FormatKey(const std::string& code) {
    auto it = formats_->find(code);
    if (it != formats_->end()) return it->second;
    Reference<css::util::XNumberFormatsSupplier> sup(doc_, UNO_QUERY_THROW);
    Reference<css::util::XNumberFormats> nf = sup->getNumberFormats();
    css::lang::Locale en;
    en.Language = "en";
    en.Country = "US";
    sal_Int32 key = nf->queryKey(U(code), en, false);
    if (key == -1) key = nf->addNew(U(code), en);
    (*formats_)[code] = key;
    return key;
  }

  Reference<css::beans::XPropertySet> Column(int col) {
    Reference<css::table::XColumnRowRange> cr(sheet_, UNO_QUERY_THROW);
    return Reference<css::beans::XPropertySet>(cr->getColumns()->getByIndex(col), UNO_QUERY_THROW);
  }
  Reference<css::beans::XPropertySet> Range(int row, int firstCol, int lastCol, int lastRow = -1) {
    return Reference<css::beans::XPropertySet>(
        sheet_->getCellRangeByPosition(firstCol, row, lastCol, lastRow < 0 ? row : lastRow), UNO_QUERY_THROW);
  }

  void SetColumnFormat(int col, const std::string& format) override try {
    Column(col)->setPropertyValue("NumberFormat", Any(FormatKey(format)));
  }
  GUARD("setting a number format")

  void SetCellFormat(int row, int firstCol, int lastCol, const std::string& format) override try {
    Range(row, firstCol, lastCol)->setPropertyValue("NumberFormat", Any(FormatKey(format)));
  }
  GUARD("setting a number format")

  void SetColumnWidth(int col, int width) override try {
    Column(col)->setPropertyValue("Width", Any(static_cast<sal_Int32>(width)));
  }
  GUARD("setting a column width")

  Reference<css::beans::XPropertySet> Columns(int firstCol, int lastCol) {
    Reference<css::table::XColumnRowRange> cr(sheet_->getCellRangeByPosition(firstCol, 0, lastCol, 0), UNO_QUERY_THROW);
    return Reference<css::beans::XPropertySet>(cr->getColumns(), UNO_QUERY_THROW);
  }

  void ShowColumns(int firstCol, int lastCol) override try {
    Columns(firstCol, lastCol)->setPropertyValue("IsVisible", Any(true));
  }
  GUARD("showing columns")

  void FitColumns(int firstCol, int lastCol) override try {
    Columns(firstCol, lastCol)->setPropertyValue("OptimalWidth", Any(true));
  }
  GUARD("fitting columns")

  void SetRowHeight(int row, int height) override try {
    Reference<css::table::XColumnRowRange> cr(sheet_, UNO_QUERY_THROW);
    Reference<css::beans::XPropertySet> r(cr->getRows()->getByIndex(row), UNO_QUERY_THROW);
    r->setPropertyValue("Height", Any(static_cast<sal_Int32>(height)));
  }
  GUARD("setting a row height")

  void SetStyle(int row, int firstCol, int lastCol, const TStyle& s) override try {
    Reference<css::beans::XPropertySet> ps = Range(row, firstCol, lastCol);
    ApplyCharStyle(ps, s);
    if (s.HasBackground) ps->setPropertyValue("CellBackColor", Any(static_cast<sal_Int32>(s.Background)));
    if (s.Alignment >= 0)
      ps->setPropertyValue("HoriJustify", Any(s.Alignment == 1   ? css::table::CellHoriJustify_RIGHT
                                              : s.Alignment == 2 ? css::table::CellHoriJustify_CENTER
                                                                 : css::table::CellHoriJustify_LEFT));
  }
  GUARD("setting cell looks")

  void SetRowLines(int firstRow, int lastRow, int firstCol, int lastCol) override try {
    css::table::BorderLine2 line;
    line.OuterLineWidth = 9;
    line.LineWidth = 9;
    line.LineStyle = 0;  // solid
    css::table::TableBorder2 b;
    b.TopLine = line;
    b.BottomLine = line;
    b.HorizontalLine = line;
    b.IsTopLineValid = b.IsBottomLineValid = b.IsHorizontalLineValid = true;
    Range(firstRow, firstCol, lastCol, lastRow)->setPropertyValue("TableBorder2", Any(b));
  }
  GUARD("drawing row lines")

  void Merge(int row, int firstCol, int lastCol) override try {
    Reference<css::util::XMergeable> m(sheet_->getCellRangeByPosition(firstCol, row, lastCol, row), UNO_QUERY_THROW);
    m->merge(true);
  }
  GUARD("merging cells")

  void FreezeRows(int row) override try {
    Reference<css::frame::XModel> model(doc_, UNO_QUERY_THROW);
    Reference<css::frame::XController> ctl = model->getCurrentController();
    Reference<css::sheet::XViewFreezable> fr(ctl, UNO_QUERY);
    if (!fr.is()) return;  // a document without a view has no panes
    fr->freezeAtPosition(0, row);
  }
  GUARD("freezing rows")

  void Protect(const std::string& password) override try {
    Reference<css::util::XProtectable> p(sheet_, UNO_QUERY_THROW);
    p->protect(U(password));
  }
  GUARD("protecting the sheet")

  void InsertPicture(int row, int col, const std::string& file, int width, int height) override try {
    Reference<css::lang::XMultiServiceFactory> f(doc_, UNO_QUERY_THROW);
    Reference<css::drawing::XShape> shape(f->createInstance("com.sun.star.drawing.GraphicObjectShape"),
                                          UNO_QUERY_THROW);
    Reference<css::graphic::XGraphicProvider> gp = css::graphic::GraphicProvider::create(Context());
    Sequence<css::beans::PropertyValue> args = Args({Prop("URL", Any(U(FileUrl(file))))});
    // The picture is read now and kept inside the document.
    Reference<css::graphic::XGraphic> g = gp->queryGraphic(args);
    Set(shape, "Graphic", Any(g));
    Reference<css::drawing::XDrawPageSupplier> dps(sheet_, UNO_QUERY_THROW);
    dps->getDrawPage()->add(shape);
    Reference<css::beans::XPropertySet> cell(sheet_->getCellByPosition(col, row), UNO_QUERY_THROW);
    css::awt::Point at;
    cell->getPropertyValue("Position") >>= at;
    shape->setSize(css::awt::Size(width, height));
    shape->setPosition(at);
  }
  GUARD("inserting a picture")

  void SetPage(const TPage& page) override try {
    OUString style;
    Reference<css::beans::XPropertySet>(sheet_, UNO_QUERY_THROW)->getPropertyValue("PageStyle") >>= style;
    ApplyPage(doc_, style, page);
  }
  GUARD("setting up the page")

  static Reference<css::uno::XComponentContext>& Context() {
    static Reference<css::uno::XComponentContext> ctx;
    return ctx;
  }

 private:
  Reference<css::lang::XComponent> doc_;
  Reference<css::sheet::XSpreadsheet> sheet_;
  OUString name_;
  std::map<std::string, sal_Int32>* formats_;
};

class TUnoWorkbook : public TWorkbook {
 public:
  explicit TUnoWorkbook(Reference<css::lang::XComponent> doc) : doc_(std::move(doc)) {
    Reference<css::sheet::XSpreadsheetDocument> sd(doc_, UNO_QUERY);
    if (!sd.is()) {
      CloseComponent(doc_);
      throw std::runtime_error("LibreOffice: the file is no spreadsheet");
    }
    sheets_ = sd->getSheets();
  }
  ~TUnoWorkbook() override { Close(); }

  std::vector<std::string> SheetNames() override try {
    std::vector<std::string> out;
    for (const OUString& n : sheets_->getElementNames()) out.push_back(S(n));
    return out;
  }
  GUARD("listing sheets")

  TSheet* Sheet(const std::string& name) override try {
    const OUString n = U(name);
    if (!sheets_->hasByName(n)) return nullptr;
    auto& slot = cache_[name];
    if (!slot)
      slot = std::make_unique<TUnoSheet>(
          doc_, Reference<css::sheet::XSpreadsheet>(sheets_->getByName(n), UNO_QUERY_THROW), n, &formats_);
    return slot.get();
  }
  GUARD("finding a sheet")

  TSheet& AddSheet(const std::string& name) override try {
    Reference<css::container::XIndexAccess> ia(sheets_, UNO_QUERY_THROW);
    sheets_->insertNewByName(U(name), static_cast<sal_Int16>(ia->getCount()));
    return *Sheet(name);
  }
  GUARD(("adding the sheet \"" + name + "\"").c_str())

  void RemoveSheet(const std::string& name) override try {
    cache_.erase(name);
    sheets_->removeByName(U(name));
  }
  GUARD("removing a sheet")

  void Store(const std::string& path, const std::string& filter) override try { office::Store(doc_, path, filter); }
  GUARD(("storing the workbook as " + filter).c_str())

  void Close() noexcept override {
    cache_.clear();
    CloseComponent(doc_);
    doc_.clear();
  }

 private:
  Reference<css::lang::XComponent> doc_;
  Reference<css::sheet::XSpreadsheets> sheets_;
  std::map<std::string, std::unique_ptr<TUnoSheet>> cache_;
  std::map<std::string, sal_Int32> formats_;
};

// --- Writer ------------------------------------------------------------------------

class TUnoDocument : public TDocument {
 public:
  explicit TUnoDocument(Reference<css::lang::XComponent> doc) : doc_(std::move(doc)) {
    Reference<css::text::XTextDocument> td(doc_, UNO_QUERY);
    if (!td.is()) {
      CloseComponent(doc_);
      throw std::runtime_error("LibreOffice: the file is no text document");
    }
    text_ = td->getText();
  }
  ~TUnoDocument() override { Close(); }

  // A cursor in an empty last paragraph: the last one when it is empty, else a
  // new one after it. A new cursor stands at the start of the text; every
  // insertion goes to its end.
  Reference<css::text::XTextCursor> EndParagraph() {
    Reference<css::text::XTextCursor> cur = text_->createTextCursor();
    cur->gotoEnd(false);
    Reference<css::text::XParagraphCursor> pc(cur, UNO_QUERY_THROW);
    pc->gotoStartOfParagraph(true);
    const bool empty = cur->getString().isEmpty();
    cur->gotoEnd(false);
    if (!empty) text_->insertControlCharacter(At(cur), css::text::ControlCharacter::PARAGRAPH_BREAK, false);
    return cur;
  }

  void AppendParagraph(const std::string& text, const TStyle& style) override try {
    Reference<css::text::XTextCursor> cur = EndParagraph();
    // Line ends inside the text are line breaks of the one paragraph.
    size_t at = 0;
    while (true) {
      size_t end = text.find_first_of("\r\n", at);
      text_->insertString(At(cur), U(text.substr(at, end == std::string::npos ? std::string::npos : end - at)), false);
      if (end == std::string::npos) break;
      if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
      text_->insertControlCharacter(At(cur), css::text::ControlCharacter::LINE_BREAK, false);
      at = end + 1;
    }
    Reference<css::text::XParagraphCursor> pc(cur, UNO_QUERY_THROW);
    pc->gotoStartOfParagraph(true);
    Reference<css::beans::XPropertySet> ps(cur, UNO_QUERY_THROW);
    if (style.Alignment >= 0)
      ps->setPropertyValue("ParaAdjust", Any(static_cast<sal_Int16>(style.Alignment == 1   ? css::style::ParagraphAdjust_RIGHT
                                                                    : style.Alignment == 2 ? css::style::ParagraphAdjust_CENTER
                                                                                           : css::style::ParagraphAdjust_LEFT)));
    if (style.HasFont) {
      ApplyCharStyle(ps, style);
    } else {
      // Looks of the paragraph before do not carry over.
      Reference<css::beans::XPropertyState> st(cur, UNO_QUERY_THROW);
      for (const char* p : {"CharWeight", "CharPosture", "CharUnderline", "CharColor", "CharHeight", "CharFontName",
                            "CharBackColor"})
        st->setPropertyToDefault(OUString::createFromAscii(p));
    }
    if (style.HasBackground) ps->setPropertyValue("CharBackColor", Any(static_cast<sal_Int32>(style.Background)));
  }
  GUARD("adding a paragraph")

  void AppendDocument(const std::string& path) override try {
    Reference<css::text::XTextCursor> cur = text_->createTextCursor();
    cur->gotoEnd(false);
    Reference<css::document::XDocumentInsertable> ins(cur, UNO_QUERY_THROW);
    ins->insertDocumentFromURL(U(FileUrl(path)), Sequence<css::beans::PropertyValue>());
  }
  GUARD("inserting the table")

  void SetPage(const TPage& page) override try {
    Reference<css::text::XTextCursor> cur = text_->createTextCursor();
    OUString style;
    Reference<css::beans::XPropertySet>(cur, UNO_QUERY_THROW)->getPropertyValue("PageStyleName") >>= style;
    ApplyPage(doc_, style, page);
  }
  GUARD("setting up the page")

  void Store(const std::string& path, const std::string& filter) override try { office::Store(doc_, path, filter); }
  GUARD(("storing the document as " + filter).c_str())

  void Close() noexcept override {
    CloseComponent(doc_);
    doc_.clear();
  }

 private:
  Reference<css::lang::XComponent> doc_;
  Reference<css::text::XText> text_;
};

// --- the suite -----------------------------------------------------------------------

class TUnoSuite : public TSuite {
 public:
  TUnoSuite(Reference<css::uno::XComponentContext> ctx, Reference<css::frame::XDesktop2> desktop)
      : ctx_(std::move(ctx)), desktop_(std::move(desktop)) {}
  ~TUnoSuite() override {
    // The loader waits for the process to end and kills it when it does not.
    try {
      desktop_->terminate();
    } catch (...) {
    }
    desktop_.clear();
    TUnoSheet::Context().clear();
    ctx_.clear();
  }

  std::unique_ptr<TWorkbook> NewWorkbook() override try {
    return std::make_unique<TUnoWorkbook>(Load(desktop_, "private:factory/scalc"));
  }
  GUARD("creating a workbook")

  std::unique_ptr<TWorkbook> OpenWorkbook(const std::string& path) override try {
    return std::make_unique<TUnoWorkbook>(Load(desktop_, U(FileUrl(path))));
  }
  GUARD(("opening " + path).c_str())

  std::unique_ptr<TDocument> NewDocument() override try {
    return std::make_unique<TUnoDocument>(Load(desktop_, "private:factory/swriter"));
  }
  GUARD("creating a document")

  std::unique_ptr<TDocument> OpenDocument(const std::string& path) override try {
    return std::make_unique<TUnoDocument>(Load(desktop_, U(FileUrl(path))));
  }
  GUARD(("opening " + path).c_str())

  std::vector<std::string> TextExportFilters() override try {
    Reference<css::container::XNameAccess> ff(
        ctx_->getServiceManager()->createInstanceWithContext("com.sun.star.document.FilterFactory", ctx_),
        UNO_QUERY_THROW);
    std::vector<std::string> out;
    for (const OUString& name : ff->getElementNames()) {
      Sequence<css::beans::PropertyValue> props;
      // Filters of modules that are not installed are listed but cannot be read.
      try {
        if (!(ff->getByName(name) >>= props)) continue;
      } catch (const css::uno::Exception&) {
        continue;
      }
      OUString service;
      sal_Int32 flags = 0;
      for (const css::beans::PropertyValue& p : props) {
        if (p.Name == "DocumentService") p.Value >>= service;
        else if (p.Name == "Flags") p.Value >>= flags;
      }
      // EXPORT = 2
      if (service == "com.sun.star.text.TextDocument" && (flags & 2)) out.push_back(S(name));
    }
    return out;
  }
  GUARD("listing the export filters")

 private:
  Reference<css::uno::XComponentContext> ctx_;
  Reference<css::frame::XDesktop2> desktop_;
};

// The local UNO environment, bootstrapped once from LibreOffice's own settings.
Reference<css::uno::XComponentContext> LocalContext() {
  static Reference<css::uno::XComponentContext> ctx;
  if (!ctx.is()) {
    ::rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" KORVANE_LO_PROGRAM "/fundamentalrc");
    ctx = ::cppu::defaultBootstrap_InitialComponentContext();
  }
  return ctx;
}

}  // namespace
}  // namespace korvane::office

extern "C" __attribute__((visibility("default"))) korvane::office::TSuite* korvane_office_connect(
    const char* pipe, int pid, int timeoutMs, char* error, size_t errorSize) {
  using namespace korvane::office;
  auto fail = [&](const std::string& m) -> TSuite* {
    if (errorSize > 0) {
      std::strncpy(error, m.c_str(), errorSize - 1);
      error[errorSize - 1] = '\0';
    }
    return nullptr;
  };
  try {
    Reference<css::uno::XComponentContext> local = LocalContext();
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local);
    const OUString url = "uno:pipe,name=" + U(pipe) + ";urp;StarOffice.ComponentContext";
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Reference<css::uno::XComponentContext> ctx;
    while (!ctx.is()) {
      try {
        ctx.set(resolver->resolve(url), UNO_QUERY_THROW);
      } catch (const css::connection::NoConnectException&) {
        int status = 0;
        if (pid > 0 && ::waitpid(static_cast<pid_t>(pid), &status, WNOHANG) == pid)
          return fail("soffice ended before it accepted the connection");
        if (std::chrono::steady_clock::now() >= until)
          return fail("soffice did not accept the connection within " + std::to_string(timeoutMs / 1000) + " s");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    TUnoSheet::Context() = ctx;
    Reference<css::frame::XDesktop2> desktop = css::frame::Desktop::create(ctx);
    return new TUnoSuite(ctx, desktop);
  } catch (const css::uno::Exception& e) {
    return fail(S(e.Message));
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("unknown error");
  }
}
