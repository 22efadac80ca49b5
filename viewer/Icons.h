#pragma once
// The program's pictures: the application icon and the 32 x 32 toolbar
// pictures, drawn in code so that they need no image plug-in.

#include <QIcon>

namespace korvane {

enum class TToolIcon {
  Open,
  Close,
  Refresh,
  Print,
  Export,
  Form,
  Columns,
  ResizeAll,
  TableInfo,
  Search,
  Exit,
  Hide,
  Show,
  MoveUp,
  MoveDown,
  Resize,
  First,
  Prior,
  Next,
  Last,
  Ok,
  Cancel,
};

QIcon ToolIcon(TToolIcon kind);
QIcon AppIcon();

}  // namespace korvane
