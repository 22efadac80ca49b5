#pragma once
// The application object: a QApplication that shows an exception escaping an
// event handler in the standard error box and goes on, and that maps the
// windows' designed fonts to fonts a Linux desktop has.

#include <QApplication>

namespace korvane {

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Tahoma and Verdana, which the windows ask for, fall back to close relatives.
void InstallFontSubstitutes();

}  // namespace korvane
