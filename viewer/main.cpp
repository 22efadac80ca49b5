// korvane [TABLE.db [/FULL]]: the Paradox table viewer.

#include "viewer/Application.h"
#include "viewer/Unit1.h"

int main(int argc, char** argv) {
  korvane::TApplication app(argc, argv);
  QStringList args = app.arguments();
  args.removeFirst();

  korvane::TForm1 form1;
  form1.OpenFromCommandLine(args);
  form1.show();
  return app.exec();
}
