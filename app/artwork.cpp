#include "artwork.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>

namespace vorn {
namespace {

constexpr int kHalfTrip = 10;  // frames from one computer to the other

}  // namespace

void DrawGlobe(QPainter& painter, const QRectF& box) {
  QRadialGradient sea(box.center() - QPointF(box.width() / 5, box.height() / 5), box.width() * 0.7);
  sea.setColorAt(0, QColor(120, 190, 255));
  sea.setColorAt(1, QColor(20, 70, 160));
  painter.setPen(QPen(QColor(10, 40, 100), box.width() / 32));
  painter.setBrush(sea);
  painter.drawEllipse(box);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(200, 230, 255, 170), box.width() / 48));
  painter.drawEllipse(box.adjusted(box.width() * 0.3, 0, -box.width() * 0.3, 0));
  painter.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
  for (double f : {0.3, 0.5, 0.7}) {
    const double y = box.top() + box.height() * f;
    const double inset = (f == 0.5 ? 0.0 : 0.08) * box.width();
    painter.drawLine(QPointF(box.left() + inset, y), QPointF(box.right() - inset, y));
  }
}

void DrawMonitor(QPainter& painter, const QRectF& box, const QColor& screen) {
  const QRectF body(box.left(), box.top(), box.width(), box.height() * 0.72);
  painter.setPen(QPen(QColor(60, 60, 60), 1));
  painter.setBrush(QColor(200, 200, 195));
  painter.drawRoundedRect(body, 2, 2);
  painter.setBrush(screen);
  painter.drawRect(body.adjusted(box.width() * 0.12, box.height() * 0.1, -box.width() * 0.12, -box.height() * 0.1));
  const double foot_w = box.width() * 0.5;
  painter.setBrush(QColor(170, 170, 165));
  painter.drawRect(
      QRectF(box.center().x() - foot_w / 2, box.bottom() - box.height() * 0.2, foot_w, box.height() * 0.2));
}

QImage DrawAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  DrawGlobe(painter, QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
  // A bold V across the globe: the program's mark.
  QPainterPath v;
  v.moveTo(s * 0.22, s * 0.24);
  v.lineTo(s * 0.5, s * 0.8);
  v.lineTo(s * 0.78, s * 0.24);
  painter.setPen(QPen(QColor(30, 30, 30), s * 0.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(v);
  painter.setPen(QPen(QColor(255, 200, 40), s * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(v);
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
  return icon;
}

// A faint network of machines on a flat colour, so that tiles join without
// seams.
QImage DrawBackgroundTile() {
  QImage image(kBackgroundTileSize, QImage::Format_RGB32);
  image.fill(QColor(0, 96, 112));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  constexpr std::array<QPointF, 7> kNodes{
      {{40, 40}, {150, 24}, {270, 60}, {90, 130}, {210, 150}, {300, 170}, {20, 180}}};
  painter.setPen(QPen(QColor(40, 140, 150), 2, Qt::DashLine));
  for (size_t i = 0; i < kNodes.size(); ++i) {
    painter.drawLine(kNodes[i], kNodes[(i + 3) % kNodes.size()]);
    painter.drawLine(kNodes[i], kNodes[(i + 1) % kNodes.size()]);
  }
  for (const QPointF& node : kNodes)
    DrawMonitor(painter, QRectF(node - QPointF(11, 10), QSizeF(22, 20)), QColor(30, 120, 130));
  return image;
}

void DrawProgressFrame(QPainter& painter, const QRect& area, int frame) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF r(area);
  const double monitor = r.height() * 0.7;
  const QRectF left(r.left() + 1, r.top() + r.height() * 0.15, monitor, monitor);
  const QRectF right(r.right() - monitor - 1, left.top(), monitor, monitor);
  const double y = left.top() + monitor * 0.35;
  painter.setPen(QPen(QColor(90, 90, 90), 1, Qt::DotLine));
  painter.drawLine(QPointF(left.right(), y), QPointF(right.left(), y));
  DrawMonitor(painter, left, QColor(40, 90, 170));
  DrawMonitor(painter, right, QColor(40, 90, 170));
  // Out in frames 0..9, back in 10..19.
  const int step = frame % kHalfTrip;
  const double t = (step + 0.5) / kHalfTrip;
  const double along = frame < kHalfTrip ? t : 1.0 - t;
  const double x = left.right() + (right.left() - left.right()) * along;
  painter.setPen(QPen(QColor(120, 60, 0), 1));
  painter.setBrush(frame < kHalfTrip ? QColor(255, 190, 40) : QColor(90, 200, 90));
  painter.drawRect(QRectF(x - 4, y - 3, 8, 6));
  painter.restore();
}

}  // namespace vorn
