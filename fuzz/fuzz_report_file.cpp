// Fuzz target of the saved report file: the input is a report file. It is loaded
// (every record and every page image checked), and each page that was accepted is
// played onto a QImage, as the preview and printing of a loaded file draw it.

#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/RvoPageStore.h"
#include "report/qt/RvoQtCanvas.h"

namespace {

std::string Path() {
  static std::string path = [] {
    char tmpl[] = "/tmp/fuzz_report_file-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) std::abort();
    close(fd);
    return std::string(tmpl);
  }();
  return path;
}

}  // namespace

// Fontconfig keeps a little memory until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication* app = new QGuiApplication(*argc, *argv);
  (void)app;
  // Fonts and painting set up once, so that their caches are not taken for leaks.
  QImage warm(8, 8, QImage::Format_RGB32);
  QPainter p(&warm);
  p.drawText(QPointF(0, 8), QStringLiteral("W"));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Path();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  korvane::report::TRvoPageList pages;
  korvane::report::TRvoLoadResult r = pages.LoadFromFile(path, 1 << 16);
  if (!r.Loaded) return 0;
  QImage img(120, 170, QImage::Format_RGB32);
  for (int n = 1; n <= pages.PageCount(); ++n) {
    std::optional<std::string> page = pages.Page(n);
    if (!page) std::abort();  // a page that passed the load must be there
    QPainter painter(&img);
    std::string why;
    if (!korvane::report::DrawPageImage(painter, QRectF(0, 0, 120, 170), *page, &why))
      std::abort();  // and must draw
    // Nothing of the replay stays on the painter.
    if (!painter.transform().isIdentity() || painter.hasClipping()) std::abort();
  }
  return 0;
}
