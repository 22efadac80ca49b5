#pragma once
// TfrmSearch, "Search": the older search dialog behind the hidden toolbar
// button "Search". It has the fields and options of the value search but no
// behaviour of its own.

#include <QDialog>

namespace korvane {

class TfrmSearch : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmSearch(QWidget* parent);
};

}  // namespace korvane
