#pragma once
// Every picture of the program is drawn here with QPainter: the program's
// icon, the tool bar strip, the MDI background tile and the frames of the
// progress animation.
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>

namespace vorn {

inline constexpr int kToolImageSize = 32;
inline constexpr int kToolImageCount = 20;
inline constexpr QSize kBackgroundTileSize{330, 200};
inline constexpr QSize kProgressArtSize{96, 48};

// The tool bar's images in strip order.
enum class ToolImage {
  Copy,
  Clear,
  ConnectDefault,
  Connect,
  ServerMode,
  Disconnect,
  QueryAllServers,
  ListNames,
  ListGames,
  MessageWindow,
  ChatWindow,
  ChatList,
  DirectPlay,
  Freeze,
  CutText,
  Game1,
  Game2,
  Game3,
  Game4,
  Game5,
};

// One strip of kToolImageCount images of kToolImageSize pixels square.
QImage DrawToolStrip();
// One image cut from the strip.
QImage ToolImageFrom(const QImage& strip, ToolImage image);

QImage DrawAppIcon(int size);
QIcon AppIcon();
QImage DrawBackgroundTile();
// Frame 0 to 19 of the animation: a packet travelling from one computer to
// the other and back.
void DrawProgressFrame(QPainter& painter, const QRect& area, int frame);

// Building blocks shared by the drawings.
void DrawMonitor(QPainter& painter, const QRectF& box, const QColor& screen);
void DrawGlobe(QPainter& painter, const QRectF& box);

}  // namespace vorn
