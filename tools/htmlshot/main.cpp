// korvane-htmlshot PAGE.htm OUT.png [WIDTH]: renders an exported HTML page (its
// pictures loaded from beside it) into a PNG, to look at what a page shows.
// A developer tool: built with the viewer, not installed. Run it under a display
// server, or with `xvfb-run -a`, so the picture uses real fonts.

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTextBrowser>
#include <QUrl>
#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: korvane-htmlshot PAGE.htm OUT.png [WIDTH]\n");
    return 2;
  }
  QFile f(QString::fromLocal8Bit(argv[1]));
  if (!f.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "korvane-htmlshot: cannot read %s\n", argv[1]);
    return 1;
  }
  const int width = argc > 3 ? QString(argv[3]).toInt() : 1200;
  QTextBrowser view;
  view.setSearchPaths({QFileInfo(f.fileName()).absolutePath()});
  view.document()->setBaseUrl(QUrl::fromLocalFile(QFileInfo(f.fileName()).absoluteFilePath()));
  view.setHtml(QString::fromUtf8(f.readAll()));
  QTextDocument* doc = view.document();
  doc->setTextWidth(width);
  QImage image(width, static_cast<int>(doc->size().height()) + 1, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  doc->drawContents(&p);
  p.end();
  if (!image.save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "korvane-htmlshot: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%s\n", argv[2]);
  return 0;
}
