#include "viewer/Application.h"

#include <QFont>
#include <QWidget>
#include <exception>

#include "platform/qt/ui.h"

namespace korvane {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("korvane"));
  setApplicationDisplayName(QStringLiteral("Korvane"));
  setApplicationVersion(QStringLiteral("0.1.0"));
  setDesktopFileName(QStringLiteral("korvane"));
  InstallFontSubstitutes();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    qtui::ShowException(activeWindow(), QString::fromUtf8(e.what()));
  } catch (...) {
    qtui::ShowException(activeWindow(), QStringLiteral("Unknown error"));
  }
  return false;
}

void InstallFontSubstitutes() {
  QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                             {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Nimbus Sans"),
                              QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(QStringLiteral("Verdana"),
                             {QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans"),
                              QStringLiteral("Liberation Sans")});
}

}  // namespace korvane
