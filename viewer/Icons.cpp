#include "viewer/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

// The resources of a static library are registered by hand.
static void InitResources() { Q_INIT_RESOURCE(korvane); }

namespace korvane {

namespace {

const QColor kBlue(0x41, 0x66, 0x85);
const QColor kLightBlue(0xA5, 0xBD, 0xD3);
const QColor kPaper(0xFA, 0xFB, 0xFC);
const QColor kGreen(0x3C, 0x8D, 0x4F);
const QColor kRed(0xC0, 0x39, 0x2B);
const QColor kAmber(0xE0, 0xA0, 0x30);

// A small table: header row in blue, grid lines.
void Table(QPainter& p, QRectF r) {
  p.setPen(QPen(kBlue, 1.5));
  p.setBrush(kPaper);
  p.drawRoundedRect(r, 2, 2);
  QRectF head(r.left(), r.top(), r.width(), r.height() / 4);
  p.setBrush(kLightBlue);
  p.drawRect(head);
  p.setPen(QPen(kBlue, 1));
  for (int i = 1; i < 3; ++i) {
    qreal y = r.top() + r.height() / 4 + i * (r.height() * 3 / 4) / 3;
    p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
  }
  qreal x = r.left() + r.width() / 3;
  p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c, qreal width = 3) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(from, to);
  QLineF line(to, from);
  QLineF a = line;
  a.setLength(7);
  a.setAngle(line.angle() + 35);
  QLineF b = line;
  b.setLength(7);
  b.setAngle(line.angle() - 35);
  p.drawLine(a);
  p.drawLine(b);
}

void Draw(QPainter& p, TToolIcon kind) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (kind) {
    case TToolIcon::Open: {
      p.setPen(QPen(kAmber.darker(130), 1.5));
      p.setBrush(kAmber);
      QPainterPath back;
      back.moveTo(3, 9);
      back.lineTo(12, 9);
      back.lineTo(14, 12);
      back.lineTo(28, 12);
      back.lineTo(28, 27);
      back.lineTo(3, 27);
      back.closeSubpath();
      p.drawPath(back);
      p.setBrush(kAmber.lighter(125));
      QPainterPath front;
      front.moveTo(6, 16);
      front.lineTo(31, 16);
      front.lineTo(28, 27);
      front.lineTo(3, 27);
      front.closeSubpath();
      p.drawPath(front);
      Table(p, QRectF(14, 3, 12, 10));
      break;
    }
    case TToolIcon::Close:
      Table(p, QRectF(3, 5, 22, 20));
      p.setPen(QPen(kRed, 3.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(19, 18), QPointF(29, 28));
      p.drawLine(QPointF(29, 18), QPointF(19, 28));
      break;
    case TToolIcon::Refresh: {
      p.setPen(QPen(kGreen, 3.5, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 270 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(kGreen);
      QPolygonF head({QPointF(17, 1), QPointF(25, 7), QPointF(16, 11)});
      p.drawPolygon(head);
      break;
    }
    case TToolIcon::Print:
      p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
      p.setBrush(kPaper);
      p.drawRect(QRectF(9, 3, 14, 10));
      p.setBrush(QColor(0x88, 0x88, 0x88));
      p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
      p.setBrush(kPaper);
      p.drawRect(QRectF(9, 19, 14, 10));
      break;
    case TToolIcon::Export:
      Table(p, QRectF(2, 6, 18, 20));
      Arrow(p, QPointF(14, 16), QPointF(30, 16), kGreen);
      break;
    case TToolIcon::Form:
      p.setPen(QPen(kBlue, 1.5));
      p.setBrush(kPaper);
      p.drawRoundedRect(QRectF(4, 3, 24, 26), 2, 2);
      for (int i = 0; i < 4; ++i) {
        qreal y = 7 + i * 5.5;
        p.setBrush(kLightBlue);
        p.drawRect(QRectF(7, y, 6, 3.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(15, y, 10, 3.5));
      }
      break;
    case TToolIcon::Columns:
      p.setPen(QPen(kBlue, 1.5));
      for (int i = 0; i < 3; ++i) {
        p.setBrush(i == 1 ? QColor(0xDD, 0xDD, 0xDD) : kLightBlue);
        p.drawRect(QRectF(3 + i * 9, 4, 8, 24));
      }
      break;
    case TToolIcon::ResizeAll:
      Table(p, QRectF(3, 9, 26, 16));
      Arrow(p, QPointF(16, 5), QPointF(3, 5), kGreen, 2);
      Arrow(p, QPointF(16, 5), QPointF(29, 5), kGreen, 2);
      break;
    case TToolIcon::TableInfo:
      Table(p, QRectF(3, 3, 20, 20));
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      p.drawEllipse(QRectF(16, 16, 14, 14));
      p.setPen(QPen(Qt::white, 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(23, 22), QPointF(23, 27));
      p.drawPoint(QPointF(23, 19));
      break;
    case TToolIcon::Search:
      p.setPen(QPen(kBlue, 3));
      p.setBrush(kPaper);
      p.drawEllipse(QRectF(4, 4, 17, 17));
      p.setPen(QPen(kBlue.darker(120), 4.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(19, 19), QPointF(28, 28));
      break;
    case TToolIcon::Exit:
      p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
      p.setBrush(QColor(0xB0, 0x8A, 0x60));
      p.drawRect(QRectF(5, 3, 14, 26));
      Arrow(p, QPointF(14, 16), QPointF(30, 16), kRed);
      break;
    case TToolIcon::Hide:
      p.setPen(QPen(kBlue, 2));
      p.setBrush(kPaper);
      p.drawEllipse(QRectF(3, 9, 26, 14));
      p.setBrush(kBlue);
      p.drawEllipse(QRectF(12, 12, 8, 8));
      p.setPen(QPen(kRed, 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(5, 27), QPointF(27, 5));
      break;
    case TToolIcon::Show:
      p.setPen(QPen(kBlue, 2));
      p.setBrush(kPaper);
      p.drawEllipse(QRectF(3, 9, 26, 14));
      p.setBrush(kBlue);
      p.drawEllipse(QRectF(12, 12, 8, 8));
      break;
    case TToolIcon::MoveUp: Arrow(p, QPointF(16, 28), QPointF(16, 4), kGreen, 4); break;
    case TToolIcon::MoveDown: Arrow(p, QPointF(16, 4), QPointF(16, 28), kGreen, 4); break;
    case TToolIcon::Resize:
      p.setPen(QPen(kBlue, 1.5));
      p.setBrush(kLightBlue);
      p.drawRect(QRectF(9, 6, 14, 20));
      Arrow(p, QPointF(16, 16), QPointF(2, 16), kGreen, 2);
      Arrow(p, QPointF(16, 16), QPointF(30, 16), kGreen, 2);
      break;
    case TToolIcon::First:
    case TToolIcon::Prior:
    case TToolIcon::Next:
    case TToolIcon::Last: {
      bool back = kind == TToolIcon::First || kind == TToolIcon::Prior;
      bool edge = kind == TToolIcon::First || kind == TToolIcon::Last;
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      QPolygonF tri = back ? QPolygonF({QPointF(24, 6), QPointF(24, 26), QPointF(10, 16)})
                           : QPolygonF({QPointF(8, 6), QPointF(8, 26), QPointF(22, 16)});
      p.drawPolygon(tri);
      if (edge) p.drawRect(back ? QRectF(6, 6, 3, 20) : QRectF(23, 6, 3, 20));
      break;
    }
    case TToolIcon::Ok:
      p.setPen(QPen(kGreen, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(5, 17), QPointF(13, 25), QPointF(27, 7)}));
      break;
    case TToolIcon::Cancel:
      p.setPen(QPen(kRed, 4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(7, 7), QPointF(25, 25));
      p.drawLine(QPointF(25, 7), QPointF(7, 25));
      break;
  }
}

}  // namespace

QIcon ToolIcon(TToolIcon kind) {
  QIcon icon;
  for (int size : {16, 32, 64}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.scale(size / 32.0, size / 32.0);
    Draw(p, kind);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

QIcon AppIcon() {
  static const bool registered = (InitResources(), true);
  (void)registered;
  QIcon icon(QStringLiteral(":/icons/korvane.svg"));
  if (!icon.availableSizes().isEmpty() || !icon.pixmap(32).isNull()) return icon;
  QIcon drawn;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.scale(size / 32.0, size / 32.0);
    p.setRenderHint(QPainter::Antialiasing);
    Table(p, QRectF(2, 4, 28, 24));
    p.end();
    drawn.addPixmap(pm);
  }
  return drawn;
}

}  // namespace korvane
