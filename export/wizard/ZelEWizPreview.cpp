#include "export/wizard/ZelEWizPreview.h"

#include <QPainter>
#include <QRandomGenerator>

namespace korvane {

TZelELayoutPreview::TZelELayoutPreview(QWidget* parent) : QWidget(parent) {
  setMinimumSize(200, 180);
  QRandomGenerator* rng = QRandomGenerator::global();
  for (int k = 0; k < 15; ++k) {
    labels_.push_back(20 + rng->bounded(30));
    values_.push_back(30 + rng->bounded(60));
  }
}

void TZelELayoutPreview::SetLayout(TZelELayout layout, QColor odd, QColor even) {
  if (layout == layout_ && odd == odd_ && even == even_) return;
  layout_ = layout;
  odd_ = odd;
  even_ = even;
  update();
}

void TZelELayoutPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect area = rect().adjusted(2, 2, -3, -3);
  p.fillRect(area, Qt::white);
  p.setPen(Qt::darkGray);
  p.drawRect(area);
  if (!isEnabled()) p.setOpacity(0.4);
  QRect in = area.adjusted(6, 6, -6, -6);
  if (layout_ == elTabularForm) {
    // Five stripes; fifteen label and value bars boxed in groups of three.
    int stripe = in.height() / 5;
    for (int s = 0; s < 5; ++s) p.fillRect(in.left(), in.top() + s * stripe, in.width(), stripe, s % 2 ? odd_ : even_);
    int line = in.height() / 16;
    for (int k = 0; k < 15; ++k) {
      int y = in.top() + k * line + line / 4 + (k / 3) * (line / 5);
      int h = std::max(2, line / 2);
      p.fillRect(in.left() + 6, y, labels_[static_cast<size_t>(k)] * in.width() / 220, h, Qt::black);
      p.fillRect(in.left() + in.width() / 3, y, values_[static_cast<size_t>(k)] * in.width() / 200, h, Qt::gray);
      if (k % 3 == 0) {
        p.setPen(Qt::darkGray);
        p.drawRect(in.left() + 2, y - 2, in.width() - 4, 3 * line - 2);
      }
    }
    return;
  }
  // A grid of 5 x 16 cells; the title cells are the first row (columnar) or the
  // first column (reversed).
  const bool reversed = layout_ == elReversedColumnar;
  const int cols = reversed ? 16 : 5, rows = reversed ? 5 : 16;
  double cw = in.width() / static_cast<double>(cols), ch = in.height() / static_cast<double>(rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      QRectF cell(in.left() + c * cw, in.top() + r * ch, cw, ch);
      bool title = reversed ? c == 0 : r == 0;
      int dataIndex = reversed ? c : r;
      p.fillRect(cell, title ? QColor(Qt::gray).darker(130) : (dataIndex % 2 ? odd_ : even_));
      QRectF bar = cell.adjusted(cw * 0.15, ch * 0.3, -cw * 0.15, -ch * 0.3);
      p.fillRect(bar, title ? Qt::black : Qt::gray);
      p.setPen(QColor(200, 200, 200));
      p.drawRect(cell);
    }
  }
}

}  // namespace korvane
