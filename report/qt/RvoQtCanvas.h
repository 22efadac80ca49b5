// Qt at the output end of a report: a TRvoCanvas that draws onto a QPainter, page
// image replay, and text measures from QFontMetricsF.
#pragma once

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "report/RvoCanvas.h"

class QPainter;

namespace korvane::report {

// The Qt font of a report font at a given size in points.
QFont RvoQtFont(const TRvoFontSpec& spec, double pointSize);

// Draws page coordinates (tenths of a millimetre) onto a painter: a device point is
// origin + (v - waste) × scale. Fonts are scaled with the page, so a page drawn
// smaller than its paper (the preview) keeps its proportions.
class TRvoQtCanvas : public TRvoCanvas {
 public:
  explicit TRvoQtCanvas(QPainter& painter) : p_(painter) {}
  // scaleX/scaleY: device pixels per tenth of a millimetre.
  void SetMapping(double scaleX, double scaleY, QPointF origin = {}, QPointF waste = {});

  void BeginPage(double paperWidth, double paperHeight) override;
  void EndPage() override {}
  void FillRect(double x, double y, double w, double h, TRvoRGB color) override;
  void Line(double x1, double y1, double x2, double y2, TRvoRGB color, double width,
            TRvoPenStyle style) override;
  void Text(double x, double y, const TRvoFontSpec& font, std::string_view utf8, double cx,
            double cy, double cw, double ch) override;
  void Image(double x, double y, double w, double h, std::string_view encoded) override;

 private:
  QPointF Map(double x, double y) const;
  QRectF MapRect(double x, double y, double w, double h) const;
  QPainter& p_;
  double sx_ = 1, sy_ = 1;
  QPointF origin_, waste_;
};

// Draws a page image stretched into `target` (painter coordinates), inside
// save()/restore() so that nothing of it stays on the painter. The image is checked
// completely first; when it is not sound nothing is drawn and `why` says why.
bool DrawPageImage(QPainter& painter, const QRectF& target, std::string_view image, std::string* why = nullptr);

// Text measures of the screen: QFontMetricsF at the given logical dots per inch
// (the screen's logicalDotsPerInch; 96 offscreen).
class TRvoQtMetrics : public TRvoMetrics {
 public:
  explicit TRvoQtMetrics(double dpi = 0);  // 0: the primary screen's, else 96
  ~TRvoQtMetrics() override;
  double TextWidth(const TRvoFontSpec& font, std::string_view utf8) override;
  double LineHeight(const TRvoFontSpec& font) override;
  double Ascent(const TRvoFontSpec& font) override;
  double Dpi() const { return dpi_; }

 private:
  struct TMeasures;
  const TMeasures& For(const TRvoFontSpec& font);
  double dpi_;
  std::map<std::string, std::unique_ptr<TMeasures>> cache_;
};

}  // namespace korvane::report
