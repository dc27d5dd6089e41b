// The tool bar strip: twenty 32 x 32 images, drawn for this program.
#include <QPainterPath>
#include <QPolygonF>
#include <array>

#include "artwork.h"

namespace vorn {
namespace {

const QColor kInk(40, 40, 40);

void Page(QPainter& p, const QRectF& box) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(Qt::white);
  p.drawRect(box);
  p.setPen(QPen(QColor(120, 120, 160), 1));
  for (double y = box.top() + 4; y < box.bottom() - 2; y += 3)
    p.drawLine(QPointF(box.left() + 3, y), QPointF(box.right() - 3, y));
}

void Plug(QPainter& p, const QPointF& at, double angle, const QColor& body) {
  p.save();
  p.translate(at);
  p.rotate(angle);
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(230, 200, 80));
  p.drawRect(QRectF(7, -4, 5, 2));
  p.drawRect(QRectF(7, 2, 5, 2));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(-3, -6, 10, 12), 2, 2);
  p.setPen(QPen(kInk, 2.5));
  p.drawLine(QPointF(-3, 0), QPointF(-12, 0));
  p.restore();
}

void Server(QPainter& p, const QRectF& box, bool lit) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(180, 180, 190));
  p.drawRoundedRect(box, 2, 2);
  for (int i = 0; i < 3; ++i) {
    const double y = box.top() + 4 + i * (box.height() - 6) / 3;
    p.setBrush(QColor(120, 120, 130));
    p.drawRect(QRectF(box.left() + 3, y, box.width() - 10, 3));
    p.setBrush(lit ? QColor(60, 220, 60) : QColor(80, 90, 80));
    p.drawEllipse(QRectF(box.right() - 5, y, 3, 3));
  }
}

void Bubble(QPainter& p, const QRectF& box, const QColor& fill) {
  QPainterPath path;
  path.addRoundedRect(box, 5, 5);
  QPolygonF tail;
  tail << QPointF(box.left() + 5, box.bottom() - 1) << QPointF(box.left() + 3, box.bottom() + 5)
       << QPointF(box.left() + 11, box.bottom() - 1);
  path.addPolygon(tail);
  p.setPen(QPen(kInk, 1));
  p.setBrush(fill);
  p.drawPath(path.simplified());
}

void List(QPainter& p, const QRectF& box, const QColor& bullet) {
  Page(p, box);
  p.setPen(Qt::NoPen);
  p.setBrush(bullet);
  for (double y = box.top() + 3; y < box.bottom() - 3; y += 5) p.drawEllipse(QRectF(box.left() + 2, y, 3, 3));
}

void Person(QPainter& p, const QPointF& at, const QColor& shirt) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(250, 210, 170));
  p.drawEllipse(QRectF(at.x() - 3.5, at.y() - 11, 7, 7));
  p.setBrush(shirt);
  p.drawChord(QRectF(at.x() - 7, at.y() - 3, 14, 12), 0, 180 * 16);
}

void Joystick(QPainter& p, const QRectF& box) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(60, 60, 70));
  p.drawRoundedRect(QRectF(box.left(), box.bottom() - 8, box.width(), 8), 2, 2);
  p.setPen(QPen(kInk, 3));
  p.drawLine(QPointF(box.center().x(), box.bottom() - 8), QPointF(box.center().x() + 3, box.top() + 5));
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(220, 30, 30));
  p.drawEllipse(QRectF(box.center().x() - 1, box.top(), 8, 8));
}

void Cross(QPainter& p, const QRectF& box, const QColor& color) {
  p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(box.topLeft(), box.bottomRight());
  p.drawLine(box.topRight(), box.bottomLeft());
}

void Snowflake(QPainter& p, const QPointF& c, double r) {
  p.setPen(QPen(QColor(40, 110, 220), 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 6; ++i) {
    p.save();
    p.translate(c);
    p.rotate(i * 60);
    p.drawLine(QPointF(0, 0), QPointF(0, -r));
    p.drawLine(QPointF(0, -r * 0.6), QPointF(-r * 0.25, -r * 0.85));
    p.drawLine(QPointF(0, -r * 0.6), QPointF(r * 0.25, -r * 0.85));
    p.restore();
  }
}

void WrapArrow(QPainter& p) {
  Page(p, QRectF(3, 3, 20, 26));
  p.setPen(QPen(QColor(200, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath path;
  path.moveTo(8, 9);
  path.lineTo(26, 9);
  path.arcTo(QRectF(20, 9, 10, 10), 90, -180);
  path.lineTo(12, 19);
  p.setBrush(Qt::NoBrush);
  p.drawPath(path);
  p.drawLine(QPointF(12, 19), QPointF(16, 15));
  p.drawLine(QPointF(12, 19), QPointF(16, 23));
}

void GamePad(QPainter& p, int number) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(90, 90, 110));
  p.drawRoundedRect(QRectF(2, 9, 28, 16), 7, 7);
  p.setBrush(QColor(230, 230, 230));
  p.drawRect(QRectF(6, 15, 8, 3));
  p.drawRect(QRectF(8.5, 12.5, 3, 8));
  p.setBrush(QColor(230, 60, 60));
  p.drawEllipse(QRectF(20, 13, 4, 4));
  p.setBrush(QColor(60, 200, 60));
  p.drawEllipse(QRectF(24, 17, 4, 4));
  QFont font = p.font();
  font.setPixelSize(11);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(20, 20, 120));
  p.drawText(QRectF(18, 0, 14, 10), Qt::AlignCenter, QString::number(number));
}

void DrawDirectPlay(QPainter& p) {
  DrawMonitor(p, QRectF(1, 4, 13, 14), QColor(40, 90, 170));
  DrawMonitor(p, QRectF(18, 14, 13, 14), QColor(40, 90, 170));
  p.setPen(QPen(QColor(0, 140, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(8, 22), QPointF(16, 22));
  p.drawLine(QPointF(16, 22), QPointF(13, 19));
  p.drawLine(QPointF(24, 9), QPointF(16, 9));
  p.drawLine(QPointF(16, 9), QPointF(19, 12));
}

void DrawConnectDefault(QPainter& p) {
  Plug(p, QPointF(14, 18), -30, QColor(40, 160, 60));
  p.setPen(QPen(QColor(200, 150, 0), 1));
  p.setBrush(QColor(255, 220, 40));
  p.drawEllipse(QRectF(21, 2, 9, 9));
}

using Drawing = void (*)(QPainter&);

// In strip order, up to the game pads.
constexpr std::array<Drawing, 15> kDrawings{{
    [](QPainter& p) {  // copy
      Page(p, QRectF(3, 3, 16, 20));
      Page(p, QRectF(12, 9, 16, 20));
    },
    [](QPainter& p) {  // clear
      Page(p, QRectF(5, 3, 20, 26));
      Cross(p, QRectF(11, 11, 14, 14), QColor(210, 30, 30));
    },
    DrawConnectDefault, [](QPainter& p) { Plug(p, QPointF(14, 18), -30, QColor(40, 160, 60)); },  // connect
    [](QPainter& p) { Server(p, QRectF(8, 3, 16, 26), true); },                                   // server mode
    [](QPainter& p) {                                                                             // disconnect
      Plug(p, QPointF(14, 18), -30, QColor(200, 60, 40));
      Cross(p, QRectF(20, 3, 9, 9), QColor(210, 30, 30));
    },
    [](QPainter& p) {  // query all servers
      DrawGlobe(p, QRectF(3, 3, 22, 22));
      Server(p, QRectF(20, 14, 10, 16), true);
    },
    [](QPainter& p) {  // list names
      List(p, QRectF(3, 3, 18, 26), QColor(40, 90, 200));
      Person(p, QPointF(24, 22), QColor(40, 90, 200));
    },
    [](QPainter& p) {  // list games
      List(p, QRectF(3, 3, 18, 26), QColor(200, 60, 40));
      Joystick(p, QRectF(17, 12, 13, 18));
    },
    [](QPainter& p) { DrawMonitor(p, QRectF(2, 2, 28, 28), Qt::white); },         // message window
    [](QPainter& p) { Bubble(p, QRectF(2, 4, 26, 18), QColor(255, 250, 200)); },  // chat window
    [](QPainter& p) {                                                             // chat list
      Bubble(p, QRectF(2, 2, 18, 12), QColor(255, 250, 200));
      Bubble(p, QRectF(12, 13, 18, 12), QColor(210, 240, 255));
    },
    DrawDirectPlay, [](QPainter& p) { Snowflake(p, QPointF(16, 16), 13); },  // freeze
    WrapArrow,                                                               // cut text (wrapping)
}};

void DrawOne(QPainter& p, ToolImage which) {
  const auto index = static_cast<size_t>(which);
  if (index < kDrawings.size()) {
    kDrawings[index](p);
  } else {
    GamePad(p, static_cast<int>(which) - static_cast<int>(ToolImage::Game1) + 1);
  }
}

}  // namespace

QImage DrawToolStrip() {
  QImage strip(kToolImageSize * kToolImageCount, kToolImageSize, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  painter.setRenderHint(QPainter::Antialiasing);
  for (int i = 0; i < kToolImageCount; ++i) {
    painter.save();
    painter.translate(i * kToolImageSize, 0);
    painter.setClipRect(0, 0, kToolImageSize, kToolImageSize);
    DrawOne(painter, static_cast<ToolImage>(i));
    painter.restore();
  }
  return strip;
}

QImage ToolImageFrom(const QImage& strip, ToolImage image) {
  return strip.copy(static_cast<int>(image) * kToolImageSize, 0, kToolImageSize, kToolImageSize);
}

}  // namespace vorn
