// korvane [TABLE.db [/FULL]]: the Paradox table viewer.
//
// KORVANE_SCREENSHOT=FOLDER writes pictures of the main window (with a few records
// selected), its File, View and Tools menus, the form view,
// the columns dialog, the export wizard's format and column steps, the progress
// window of an export and (for a table with a picture field) the field panel into
// FOLDER once the window is up, then ends.

#include <QTimer>
#include <cstdio>

#include "viewer/Application.h"
#include "viewer/Unit1.h"

int main(int argc, char** argv) {
  korvane::TApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();

  korvane::TForm1 form1;
  form1.OpenFromCommandLine(args);
  form1.show();

  QString shots = qEnvironmentVariable("KORVANE_SCREENSHOT");
  if (!shots.isEmpty()) {
    QTimer::singleShot(500, &form1, [&] {
      const QStringList files = form1.SaveScreenshots(shots);
      for (const QString& f : files) std::printf("%s\n", qPrintable(f));
      app.quit();
    });
  }
  return app.exec();
}
