#include "report/qt/RvoQtCanvas.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QScreen>
#include <cmath>

#include "report/RvoPageImage.h"

namespace korvane::report {
namespace {

// Pictures on a page are decoded only up to this many pixels.
constexpr qint64 kMaxPicturePixels = 64ll * 1000 * 1000;

QColor Rgb(TRvoRGB c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

QString Utf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

Qt::PenStyle PenStyle(TRvoPenStyle s) {
  switch (s) {
    case TRvoPenStyle::Dash: return Qt::DashLine;
    case TRvoPenStyle::Dot: return Qt::DotLine;
    case TRvoPenStyle::DashDot: return Qt::DashDotLine;
    case TRvoPenStyle::DashDotDot: return Qt::DashDotDotLine;
    case TRvoPenStyle::Clear: return Qt::NoPen;
    case TRvoPenStyle::Solid: break;
  }
  return Qt::SolidLine;
}

}  // namespace

QFont RvoQtFont(const TRvoFontSpec& spec, double pointSize) {
  QFont f(Utf8(spec.Name));
  f.setPointSizeF(pointSize > 0 && std::isfinite(pointSize) ? pointSize : 1.0);
  f.setBold(spec.Bold);
  f.setItalic(spec.Italic);
  f.setUnderline(spec.Underline);
  f.setStrikeOut(spec.StrikeOut);
  // Unhinted outlines measure the same at every resolution: the screen's measures
  // then hold on paper.
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setKerning(true);
  return f;
}

// ---- Canvas -----------------------------------------------------------------

void TRvoQtCanvas::SetMapping(double scaleX, double scaleY, QPointF origin, QPointF waste) {
  sx_ = scaleX;
  sy_ = scaleY;
  origin_ = origin;
  waste_ = waste;
}

QPointF TRvoQtCanvas::Map(double x, double y) const {
  return {origin_.x() + (x - waste_.x()) * sx_, origin_.y() + (y - waste_.y()) * sy_};
}

QRectF TRvoQtCanvas::MapRect(double x, double y, double w, double h) const {
  return QRectF(Map(x, y), QSizeF(w * sx_, h * sy_));
}

void TRvoQtCanvas::BeginPage(double paperWidth, double paperHeight) {
  FillRect(0, 0, paperWidth, paperHeight, kRvoWhite);
}

void TRvoQtCanvas::FillRect(double x, double y, double w, double h, TRvoRGB color) {
  p_.fillRect(MapRect(x, y, w, h), Rgb(color));
}

void TRvoQtCanvas::Line(double x1, double y1, double x2, double y2, TRvoRGB color, double width,
                        TRvoPenStyle style) {
  if (style == TRvoPenStyle::Clear) return;
  QPen pen(Rgb(color));
  pen.setWidthF(std::max(0.0, width * std::min(sx_, sy_)));  // 0: one device pixel
  pen.setStyle(PenStyle(style));
  pen.setCapStyle(Qt::FlatCap);
  p_.save();
  p_.setPen(pen);
  p_.drawLine(Map(x1, y1), Map(x2, y2));
  p_.restore();
}

void TRvoQtCanvas::Text(double x, double y, const TRvoFontSpec& font, std::string_view utf8, double cx,
                        double cy, double cw, double ch) {
  QPaintDevice* dev = p_.device();
  double dpi = dev && dev->logicalDpiY() > 0 ? dev->logicalDpiY() : 96.0;
  // A point is 254/72 tenths of a millimetre; at sy_ device pixels per tenth the
  // font's size in the device's points is this.
  QFont f = RvoQtFont(font, font.Size * sy_ * 254.0 / dpi);
  QFontMetricsF fm(f, dev);
  p_.save();
  p_.setClipRect(MapRect(cx, cy, cw, ch), Qt::IntersectClip);
  p_.setFont(f);
  p_.setPen(Rgb(font.Color));
  p_.setBackgroundMode(Qt::TransparentMode);
  QPointF at = Map(x, y);
  p_.drawText(QPointF(at.x(), at.y() + fm.ascent()), Utf8(utf8));
  p_.restore();
}

void TRvoQtCanvas::Image(double x, double y, double w, double h, std::string_view encoded) {
  QByteArray bytes(encoded.data(), static_cast<qsizetype>(encoded.size()));
  QBuffer buf(&bytes);
  buf.open(QIODevice::ReadOnly);
  QImageReader reader(&buf);
  QSize size = reader.size();
  // The picture's own header states its size; a picture that claims more than the
  // cap is left out without being decoded.
  if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPicturePixels) return;
  QImage img;
  if (!reader.read(&img)) return;
  p_.drawImage(MapRect(x, y, w, h), img);
}

bool DrawPageImage(QPainter& painter, const QRectF& target, std::string_view image, std::string* why) {
  TRvoPageInfo info;
  if (!CheckPageImage(image, &info, why)) return false;
  if (target.width() <= 0 || target.height() <= 0) return true;
  painter.save();
  painter.setClipRect(target, Qt::IntersectClip);
  TRvoQtCanvas canvas(painter);
  canvas.SetMapping(target.width() / info.Width, target.height() / info.Height, target.topLeft());
  bool ok = PlayPageImage(image, canvas, why);
  painter.restore();
  return ok;
}

// ---- Metrics ----------------------------------------------------------------

struct TRvoQtMetrics::TMeasures {
  QFont font;
  std::unique_ptr<QFontMetricsF> fm;
};

TRvoQtMetrics::TRvoQtMetrics(double dpi) : dpi_(dpi) {
  if (dpi_ <= 0) {
    QScreen* s = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                     ? QGuiApplication::primaryScreen()
                     : nullptr;
    dpi_ = s ? s->logicalDotsPerInch() : 96.0;
    if (dpi_ <= 0) dpi_ = 96.0;
  }
}

TRvoQtMetrics::~TRvoQtMetrics() = default;

const TRvoQtMetrics::TMeasures& TRvoQtMetrics::For(const TRvoFontSpec& font) {
  std::string key = font.Name + '\x01' + std::to_string(font.Size) + char('0' + font.Bold) +
                    char('0' + font.Italic) + char('0' + font.Underline) + char('0' + font.StrikeOut);
  auto it = cache_.find(key);
  if (it != cache_.end()) return *it->second;
  auto m = std::make_unique<TMeasures>();
  // Points at this resolution, as the screen shows them.
  m->font = RvoQtFont(font, font.Size);
  QImage device(1, 1, QImage::Format_ARGB32);
  int dpm = static_cast<int>(std::lround(dpi_ / 0.0254));
  device.setDotsPerMeterX(dpm);
  device.setDotsPerMeterY(dpm);
  m->fm = std::make_unique<QFontMetricsF>(m->font, &device);
  return *cache_.emplace(key, std::move(m)).first->second;
}

double TRvoQtMetrics::TextWidth(const TRvoFontSpec& font, std::string_view utf8) {
  return For(font).fm->horizontalAdvance(Utf8(utf8)) * 254.0 / dpi_;
}

double TRvoQtMetrics::LineHeight(const TRvoFontSpec& font) {
  const QFontMetricsF& fm = *For(font).fm;
  return (fm.ascent() + fm.descent() + fm.leading()) * 254.0 / dpi_;
}

double TRvoQtMetrics::Ascent(const TRvoFontSpec& font) { return For(font).fm->ascent() * 254.0 / dpi_; }

}  // namespace korvane::report
