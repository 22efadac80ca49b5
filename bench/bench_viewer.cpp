// The viewer on a big table: time to open, to go to the last record, to page
// through the table, and the program's memory on the way.
//
//   bench_viewer [--records N] [--keep DIR] [TABLE.db]
//
// Without a table, writes a generated one of N records (1 000 000 by default)
// into a temporary folder. Runs on the offscreen platform unless told otherwise.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/pdxgenerate.h"
#include "platform/qt/ui.h"
#include "viewer/Application.h"
#include "viewer/DBGrid.h"
#include "viewer/Unit1.h"

namespace {

double RssMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Paint(QWidget* w) {
  QCoreApplication::processEvents();
  w->grab();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  uint32_t records = 1000000;
  std::string table, keep;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--records" && i + 1 < argc)
      records = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--keep" && i + 1 < argc)
      keep = argv[++i];
    else if (a.rfind("-platform", 0) != 0)
      table = a;
  }
  korvane::TApplication app(argc, argv);

  std::filesystem::path dir;
  if (table.empty()) {
    dir = keep.empty()
              ? std::filesystem::temp_directory_path() / ("korvane-bench-" + std::to_string(getpid()))
              : std::filesystem::path(keep);
    std::filesystem::create_directories(dir);
    table = (dir / "big.db").string();
    QElapsedTimer t;
    t.start();
    auto fields = korvane::ParsePdxFieldSpec("Name=A30,Qty=I,Price=N,Day=D,Note=M20");
    korvane::TPdxWriterOptions opt;
    opt.BlockSizeKB = 4;
    opt.Language = korvane::TPdxLanguageDriver::WinUs();
    korvane::TPdxWriter writer(table, fields, opt);
    korvane::TPdxRowGenerator gen(fields, 1);
    korvane::TWriterRow row;
    for (uint32_t i = 0; i < records; ++i) {
      gen.Next(row);
      writer.Append(row);
    }
    writer.Finish();
    std::printf("wrote %u records (%.1f MiB) in %.1f s\n", records,
                std::filesystem::file_size(table) / (1024.0 * 1024.0), t.elapsed() / 1000.0);
  }

  korvane::qtui::TUiHooks hooks;  // answer every dialog: a benchmark never waits
  hooks.Message = [](korvane::qtui::TMessageKind, const QString& text) {
    std::printf("message: %s\n", qPrintable(text));
  };
  korvane::qtui::SetUiHooks(&hooks);

  korvane::TForm1 form;
  form.show();
  Paint(&form);
  double base = RssMiB();
  std::printf("window without a table: %.1f MiB resident\n", base);

  QElapsedTimer t;
  t.start();
  form.OpenPDX(QString::fromStdString(table));
  Paint(form.DBGrid1());
  std::printf("open and first paint: %lld ms, %d records, %.1f MiB resident (+%.1f)\n",
              static_cast<long long>(t.elapsed()), form.Pdx1().RecordCount(), RssMiB(), RssMiB() - base);

  t.restart();
  form.DBGrid1()->setFocus();
  QTest::keyClick(form.DBGrid1(), Qt::Key_End, Qt::ControlModifier);
  Paint(form.DBGrid1());
  std::printf("Ctrl+End to record %d and paint: %lld ms, %.1f MiB resident (+%.1f)\n", form.Pdx1().RecNo(),
              static_cast<long long>(t.elapsed()), RssMiB(), RssMiB() - base);

  t.restart();
  QScrollBar* bar = form.DBGrid1()->verticalScrollBar();
  const int pages = 2000;
  for (int i = 0; i <= pages; ++i) {
    bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * i / pages));
    Paint(form.DBGrid1()->viewport());
  }
  std::printf("%d screens across the table: %.2f ms a screen, %.1f MiB resident (+%.1f), %d rows cached\n",
              pages + 1, t.elapsed() / double(pages + 1), RssMiB(), RssMiB() - base,
              form.DBGrid1()->GridModel()->CachedRowCount());

  t.restart();
  form.Pdx1().SetRecNo(1);
  form.DBGrid1()->setCurrentIndex(form.DBGrid1()->model()->index(0, 0));
  std::string column = form.CopyColumnText();
  std::printf("copy column (%zu bytes of text): %lld ms, %.1f MiB resident (+%.1f)\n", column.size(),
              static_cast<long long>(t.elapsed()), RssMiB(), RssMiB() - base);

  korvane::qtui::SetUiHooks(nullptr);
  if (!dir.empty() && keep.empty()) std::filesystem::remove_all(dir);
  return 0;
}
