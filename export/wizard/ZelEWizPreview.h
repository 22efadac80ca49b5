#pragma once
// The miniature of the chosen layout on the wizard's layout step.

#include <QColor>
#include <QWidget>
#include <vector>

#include "export/ZelETypes.h"

namespace korvane {

class TZelELayoutPreview : public QWidget {
  Q_OBJECT
 public:
  explicit TZelELayoutPreview(QWidget* parent = nullptr);
  void SetLayout(TZelELayout layout, QColor odd, QColor even);
  TZelELayout Layout() const { return layout_; }
  QSize sizeHint() const override { return {220, 200}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  TZelELayout layout_ = elColumnar;
  QColor odd_ = Qt::white, even_ = Qt::white;
  std::vector<int> labels_, values_;  // bar lengths of the tabular form
};

}  // namespace korvane
