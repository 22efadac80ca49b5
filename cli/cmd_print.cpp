// korvane-cli print: the viewer's list report of a table, printed into a PDF file
// through the report printer, without a window (offscreen, 96 dpi).
//
// The columns are those of the viewer's grid for a freshly opened table (every
// field in field order), as export takes them; --columns picks and orders them.
// Table text is decoded to UTF-8 from the table's code page (or --encoding).

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "engine/grid.h"
#include "engine/pdx.h"
#include "engine/sysutils.h"
#include "platform/textcodec.h"
#include "report/RvoListBuilder.h"
#include "report/RvoPaper.h"

#ifdef KORVANE_PRINT
#include <QCoreApplication>
#include <QtGlobal>
#include <QGuiApplication>
#include <QString>

#include "report/RvoPageImagePrinter.h"
#include "report/RvoPageStore.h"
#include "report/qt/RvoQtCanvas.h"
#include "report/qt/RvoQtPrinter.h"
#endif

namespace korvane::cli {

namespace {

using namespace korvane::report;

const char kPrintHelp[] =
    "usage: korvane-cli print TABLE.db --output OUT.pdf [options]\n"
    "       korvane-cli print --load REPORT.RvoP --output OUT.pdf [--pages FROM-TO]\n"
    "\n"
    "Prints the viewer's list report of a table (title, column headers, one line per\n"
    "record, \"Page n\" at the foot of every page) into a PDF file. The columns are\n"
    "the grid's: every field in field order; memo and other BLOB fields, fields whose\n"
    "name holds a blank, /, \\, &, % or -, and fields too wide for landscape paper are\n"
    "left out, and standard error names them. A table too wide for portrait paper is\n"
    "printed in landscape. The PDF is written beside its place and renamed there when\n"
    "complete; an error, or Ctrl-C, SIGTERM or SIGHUP, leaves no file.\n"
    "  --output FILE       the PDF file to write\n"
    "  --columns A,B,...   print only these fields, in this order\n"
    "  --encoding CP       read the table's text as code page CP (as dump does)\n"
    "  --paper NAME        paper size: A4 (default), Letter, Legal, A3, A5, B5, ...\n"
    "  --landscape         landscape paper\n"
    "  --pages FROM-TO     print only these pages (N, FROM-TO); the others are laid\n"
    "                      out all the same, so page numbers stay; a range past the\n"
    "                      last page is an error\n"
    "  --save-report FILE  also save the pages as a report file (.RvoP), as the\n"
    "                      preview's Save report does\n"
    "  --load FILE         print the pages of a saved report file instead of a table\n"
    "  --quiet             no notes on standard error (errors and left-out fields\n"
    "                      still show)\n";

struct TPrintArgs {
  std::string table, output, columns, encoding, paper, saveReport, load;
  bool columnsGiven = false, landscape = false, quiet = false;
  int firstPage = 0, lastPage = 0;
};

int ParsePageNumber(const std::string& s, const std::string& all) {
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
    throw UsageError{"print: --pages takes FROM-TO or N (pages from 1), not \"" + all + "\""};
  const int n = std::atoi(s.c_str());
  if (n < 1) throw UsageError{"print: --pages counts pages from 1, not \"" + all + "\""};
  return n;
}

TPrintArgs ParseArgs(const std::vector<std::string>& args) {
  TPrintArgs r;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{"print: " + a + " needs a value"};
      return args[++i];
    };
    if (a == "--output" || a == "-o") r.output = value();
    else if (a == "--columns") {
      r.columns = value();
      r.columnsGiven = true;
    } else if (a == "--encoding") r.encoding = value();
    else if (a == "--paper") r.paper = value();
    else if (a == "--landscape") r.landscape = true;
    else if (a == "--pages") {
      const std::string v = value();
      const size_t dash = v.find('-');
      r.firstPage = ParsePageNumber(v.substr(0, dash), v);
      r.lastPage = dash == std::string::npos ? r.firstPage : ParsePageNumber(v.substr(dash + 1), v);
      if (r.lastPage < r.firstPage) throw UsageError{"print: --pages " + v + " ends before it begins"};
    } else if (a == "--save-report") r.saveReport = value();
    else if (a == "--load") r.load = value();
    else if (a == "--quiet" || a == "-q") r.quiet = true;
    else if (!a.empty() && a[0] == '-') throw UsageError{"print: unknown option \"" + a + "\""};
    else if (r.table.empty()) r.table = a;
    else throw UsageError{"print: more than one table given (\"" + r.table + "\", \"" + a + "\")"};
  }
  if (r.output.empty()) throw UsageError{"print: no output file given (--output OUT.pdf)"};
  if (r.load.empty() && r.table.empty()) throw UsageError{"print: no table given"};
  if (!r.load.empty() && !r.table.empty())
    throw UsageError{"print: give a table or --load REPORT.RvoP, not both"};
  if (!r.load.empty() && (r.columnsGiven || !r.encoding.empty() || !r.paper.empty() || r.landscape))
    throw UsageError{"print: --columns, --encoding, --paper and --landscape do not apply to --load (its pages are made)"};
  if (!r.saveReport.empty() && r.saveReport == r.output)
    throw UsageError{"print: --save-report and --output name the same file"};
  return r;
}

#ifdef KORVANE_PRINT

// The field names for --columns, matched as export matches them: as shown
// (decoded), then as stored, then without regard to case.
std::vector<std::string> SelectFields(const TDataSet& ds, const std::string& list) {
  std::vector<std::string> names;
  for (const std::string& name : SplitText(list, ',')) {
    if (name.empty()) throw UsageError{"print: --columns holds an empty field name"};
    const TField* found = nullptr;
    for (int i = 0; i < ds.FieldCount() && !found; ++i) {
      const TField& f = ds.Fields(i);
      if (f.DisplayName() == name || f.FieldName() == name) found = &f;
    }
    for (int i = 0; i < ds.FieldCount() && !found; ++i)
      if (SameTextAscii(ds.Fields(i).DisplayName(), name)) found = &ds.Fields(i);
    if (!found) throw UsageError{"print: the table has no field \"" + name + "\""};
    names.push_back(found->FieldName());
  }
  return names;
}

// Ctrl-C, SIGTERM and SIGHUP are the Cancel button; the program then ends by
// the signal once its output is cleaned up.
volatile std::sig_atomic_t gSignal = 0;
extern "C" void OnCancelSignal(int sig) { gSignal = sig; }

class TCancelSignals {
 public:
  TCancelSignals() {
    struct sigaction sa = {};
    sa.sa_handler = OnCancelSignal;
    sigemptyset(&sa.sa_mask);
    for (size_t i = 0; i < kCount; ++i) installed_[i] = sigaction(kSignals[i], &sa, &old_[i]) == 0;
  }
  ~TCancelSignals() {
    for (size_t i = 0; i < kCount; ++i)
      if (installed_[i]) sigaction(kSignals[i], &old_[i], nullptr);
  }
  TCancelSignals(const TCancelSignals&) = delete;
  TCancelSignals& operator=(const TCancelSignals&) = delete;
  static int Caught() { return gSignal; }
  // Ends the program by the signal that cancelled it.
  static void Reraise() {
    const int sig = gSignal;
    std::fflush(stderr);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }

 private:
  static constexpr size_t kCount = 3;
  static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[kCount] = {};
  bool installed_[kCount] = {};
};

// The date and time text of printed cells: the forms dump writes.
TFormatSettings PrintFormatSettings() {
  TFormatSettings fs;
  fs.DateSeparator = '-';
  fs.TimeSeparator = ':';
  fs.ShortDateFormat = "yyyy/mm/dd";
  fs.LongTimeFormat = "hh:nn:ss";
  fs.ShortTimeFormat = "hh:nn";
  return fs;
}

void Note(const TPrintArgs& a, const std::string& text) {
  if (!a.quiet) std::fprintf(stderr, "korvane-cli: print: %s\n", text.c_str());
}

// What the run changed on the way to the page, said once each.
void ReportChanges(const TPrintArgs& a, const TRvoRunStats& st) {
  if (st.NumbersRounded)
    Note(a, std::to_string(st.NumbersRounded) + " numbers were too wide for their cells and are printed rounded to fewer digits");
  if (st.NumbersHidden)
    Note(a, std::to_string(st.NumbersHidden) + " numbers did not fit their cells with even one digit and are printed as ###");
  if (st.TextsCut)
    Note(a, std::to_string(st.TextsCut) + " texts are longer than their cells and are printed cut to the part that fits");
}

void CheckRange(const TPrintArgs& a, int pages) {
  if (a.firstPage > 0 && (a.firstPage > pages || a.lastPage > pages))
    throw Exception("--pages " + std::to_string(a.firstPage) + "-" + std::to_string(a.lastPage) +
                    " goes past the last page: the report has " + std::to_string(pages) +
                    (pages == 1 ? " page" : " pages"));
}

// Writes the PDF only when the run completed with its whole page range: a range
// past the last page, or a cancel, leaves no file.
class TPdfPrinter : public TRvoDevicePrinter {
 public:
  explicit TPdfPrinter(const QString& path) : TRvoDevicePrinter(path) {}
  bool rangePastEnd = false;

 protected:
  void DoEndDoc() override {
    const TRvoJobSettings& s = Settings();
    if (s.FirstPage > 0 && (s.FirstPage > PageCount() || s.LastPage > PageCount())) {
      rangePastEnd = true;
      TRvoDevicePrinter::DoAbortDoc();
      return;
    }
    TRvoDevicePrinter::DoEndDoc();
  }
};

int SaveAndPrint(const TPrintArgs& a, const TRvoPageImagePrinter& images, int records);

// A cancelled run: nothing was written; a signal ends the program by it.
int Cancelled() {
  std::fprintf(stderr, "korvane-cli: print: cancelled; no file written\n");
  if (TCancelSignals::Caught()) TCancelSignals::Reraise();
  return kExitError;
}

int PrintTable(const TPrintArgs& a) {
  int overrideCp = 0;
  if (!a.encoding.empty()) {
    try {
      overrideCp = ParseCodePage(a.encoding);
    } catch (const std::exception& e) {
      throw UsageError{std::string("print: ") + e.what()};
    }
  }
  TRvoPaperSize paper = TRvoPaperSize::A4;
  if (!a.paper.empty()) {
    auto p = PaperSizeByName(a.paper);
    if (!p || *p == TRvoPaperSize::Default || *p == TRvoPaperSize::Custom)
      throw UsageError{"print: unknown paper \"" + a.paper + "\" (A4, Letter, Legal, A3, A5, B5, ...)"};
    paper = *p;
  }

  TPdx table;
  table.SetTableName(a.table);
  table.Open();
  RefuseEncrypted(table);
  WarnReadProblems(table);
  table.SetFormatSettings(PrintFormatSettings());
  const int codePage = SourceCodePage(table, overrideCp);
  std::shared_ptr<const TTextDecoder> decoder = TTextDecoder::For(codePage);
  table.OnEncode = [decoder](TDataSet&, const TField& field, const std::string& text) {
    return decoder->Decode(text, field.DataType() == ftFmtMemo ? DecodeMode::Escape : DecodeMode::Replace);
  };
  // Headers show the decoded names.
  for (int i = 0; i < table.FieldCount(); ++i)
    table.Fields(i).SetDisplayLabel(decoder->Decode(table.Fields(i).FieldName(), DecodeMode::Replace));

  // The viewer's grid for a freshly opened table.
  TDataSource source;
  source.SetDataSet(&table);
  TGridColumns grid;
  grid.SetDataSource(&source);
  // Column widths measured in the grid's font, as the viewer's grid measures them.
  static TRvoQtMetrics* metrics = new TRvoQtMetrics(96);  // kept for the program's life
  grid.TextWidth = [](const std::string& text) {
    TRvoFontSpec f;
    f.Name = TFontSpec().Name;
    f.Size = TFontSpec().Size;
    return static_cast<int>(std::ceil(metrics->TextWidth(f, text) * 96.0 / 254.0));
  };
  grid.RebuildFromFields();
  std::vector<std::string> names;
  if (a.columnsGiven) names = SelectFields(table, a.columns);
  else
    for (const TGridColumn& c : grid.Columns())
      if (c.Visible) names.push_back(c.FieldName);

  TRvoListBuilder builder(*metrics, 96, false);
  builder.PaperSize = paper;
  builder.Orientation = a.landscape ? TRvoOrientation::poLandscape : TRvoOrientation::poPortrait;
  std::vector<TRvoLeftOutField> leftOut;
  // The title is the table's file name as given.
  std::unique_ptr<TRvoRep> report = BuildListReport(builder, table, names, a.table, &leftOut);
  if (!report) throw Exception("the list report could not be built");
  ApplyGridWidths(*report, table, grid);
  for (const TRvoLeftOutField& f : leftOut)
    std::fprintf(stderr, "korvane-cli: print: field \"%s\" left out (%s)\n", f.Name.c_str(),
                 LeftOutReasonText(f.Why));
  if (TRvoBand* detail = report->FindBand(TRvoBandType::rbDetail))
    for (const auto& p : detail->Printables()) {
      auto* cell = dynamic_cast<TRvoExpr*>(p.get());
      const TField* f = cell ? table.FindField(cell->Expression().substr(1, cell->Expression().size() - 2)) : nullptr;
      if (f && (f->DataType() == ftBytes || f->DataType() == ftVarBytes))
        Note(a, "field \"" + f->DisplayName() + "\" holds bytes: its cells read (Bytes), as the grid shows them");
    }
  const TRvoBand* detailBand = report->FindBand(TRvoBandType::rbDetail);
  if (!detailBand || detailBand->Printables().empty())
    throw Exception("none of the fields can be printed (all are left out, see above); no file written");
  if (report->Page.Orientation == TRvoOrientation::poLandscape && !a.landscape)
    Note(a, "the columns do not fit portrait paper: printed in landscape");

  TCancelSignals cancelSignals;
  report->OnRecord = [](TRvoPrinter& p) {
    if (TCancelSignals::Caught()) p.Cancel();
  };
  report->PrinterSettings.FirstPage = a.firstPage;
  report->PrinterSettings.LastPage = a.lastPage;

  if (a.saveReport.empty()) {
    TPdfPrinter pdf(QString::fromStdString(a.output));
    pdf.OnProcessMessages = [] {};
    report->Run(pdf);
    if (pdf.Cancelled()) return Cancelled();
    if (pdf.rangePastEnd) CheckRange(a, pdf.PageCount());
    ReportChanges(a, report->Stats());
    Note(a, std::to_string(report->Stats().Records) + " records on " + std::to_string(pdf.PageCount()) +
                " pages; " + std::to_string(pdf.PagesInRange()) + " pages written to " + a.output);
    return kExitOk;
  }

  // The pages as the preview makes them: recorded, saved, then printed.
  TRvoPageImagePrinter images;
  images.OnProcessMessages = [] {};
  report->Run(images);
  if (images.Cancelled()) return Cancelled();
  ReportChanges(a, report->Stats());
  return SaveAndPrint(a, images, report->Stats().Records);
}

// Prints the recorded or loaded pages (and saves them first with --save-report).
int SaveAndPrint(const TPrintArgs& a, const TRvoPageImagePrinter& images, int records) {
  const int pages = images.PagesAvailable();
  CheckRange(a, pages);
  if (!a.saveReport.empty()) {
    images.Save(a.saveReport);
    Note(a, std::to_string(pages) + " pages saved to " + a.saveReport);
  }
  TRvoDevicePrinter pdf(QString::fromStdString(a.output));
  pdf.OnProcessMessages = [&pdf] {
    if (TCancelSignals::Caught()) pdf.Cancel();
  };
  const int printed = pdf.PrintPages(images.Pages(), a.firstPage, a.lastPage, images.Title());
  if (pdf.Cancelled()) return Cancelled();
  Note(a, (records >= 0 ? std::to_string(records) + " records on " : std::string()) + std::to_string(pages) +
              " pages; " + std::to_string(printed) + " pages written to " + a.output);
  return kExitOk;
}

int PrintLoaded(const TPrintArgs& a) {
  TCancelSignals cancelSignals;
  TRvoPageImagePrinter images;
  const TRvoLoadResult r = images.Load(a.load);
  if (!r.Loaded) throw Exception(r.Message.empty() ? "cannot load the report file \"" + a.load + "\"" : r.Message);
  // A damaged file: the pages before the damage are printed, and the run says so.
  const int status = SaveAndPrint(a, images, -1);
  if (status == kExitOk && !r.Message.empty()) {
    std::fprintf(stderr, "korvane-cli: print: %s; only the %d pages before it were printed\n", r.Message.c_str(),
                 r.PagesKept);
    return kExitError;
  }
  return status;
}

#endif  // KORVANE_PRINT

}  // namespace

int CmdPrint(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kPrintHelp, stdout);
      return kExitOk;
    }
  }
  TPrintArgs a = ParseArgs(args);
#ifdef KORVANE_PRINT
  // Always offscreen: no display is needed, and text is measured at 96 dpi.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's remarks about the session (no XDG_RUNTIME_DIR and the like) are no
  // concern of a command that writes a file.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (type == QtFatalMsg || (type == QtCriticalMsg && !msg.contains("XDG_RUNTIME_DIR")))
      std::fprintf(stderr, "korvane-cli: print: %s\n", msg.toLocal8Bit().constData());
  });
  static int argc = 1;
  static char arg0[] = "korvane-cli";
  static char* argv[] = {arg0, nullptr};
  std::unique_ptr<QGuiApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
  return a.load.empty() ? PrintTable(a) : PrintLoaded(a);
#else
  (void)a;
  std::fputs("korvane-cli: the print command is not available in this build (it needs Qt)\n", stderr);
  return kExitError;
#endif
}

}  // namespace korvane::cli
