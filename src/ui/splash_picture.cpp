#include "ui/splash_picture.h"

#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace kip {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// A row of program tiles on a shelf, the first ones already lifted off: programs being started.
void drawTiles(QPainter& painter) {
  const QColor colours[] = {QColor(0xf2, 0xa5, 0x3b), QColor(0x5c, 0xc8, 0x8a), QColor(0x4f, 0x9d, 0xf0),
                            QColor(0xe0, 0x5a, 0x6b)};
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 40));
  painter.drawRoundedRect(QRectF(24, 196, 272, 6), 3, 3);
  for (int i = 0; i < 4; ++i) {
    const qreal lift = (3 - i) * 14.0;
    const QRectF tile(40 + i * 64, 160 - lift, 48, 32);
    if (lift > 0) {
      // The trail of a tile on its way up.
      QLinearGradient trail(tile.center().x(), tile.bottom(), tile.center().x(), 196);
      trail.setColorAt(0, QColor(255, 255, 255, 90));
      trail.setColorAt(1, QColor(255, 255, 255, 0));
      painter.setBrush(trail);
      painter.drawRect(QRectF(tile.left() + 14, tile.bottom(), 20, 196 - tile.bottom()));
    }
    painter.setBrush(colours[i]);
    painter.drawRoundedRect(tile, 6, 6);
    painter.setBrush(QColor(255, 255, 255, 170));
    painter.drawRoundedRect(QRectF(tile.left() + 8, tile.top() + 8, 14, 14), 3, 3);
    painter.drawRoundedRect(QRectF(tile.left() + 26, tile.top() + 10, 14, 4), 2, 2);
    painter.drawRoundedRect(QRectF(tile.left() + 26, tile.top() + 17, 10, 4), 2, 2);
  }
}

// An upward arrow with a curved tail: the program's mark.
void drawMark(QPainter& painter) {
  QPainterPath tail;
  tail.moveTo(36, 92);
  tail.cubicTo(52, 92, 60, 70, 60, 44);
  painter.setPen(QPen(QColor(0xf2, 0xa5, 0x3b), 7, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(tail);
  QPainterPath head;
  head.moveTo(60, 24);
  head.lineTo(74, 46);
  head.lineTo(46, 46);
  head.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xf2, 0xa5, 0x3b));
  painter.drawPath(head);
}

}  // namespace

QImage splashPicture() {
  QImage image(kWidth, kHeight, QImage::Format_RGB16);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, kHeight);
  sky.setColorAt(0, QColor(0x12, 0x24, 0x4a));
  sky.setColorAt(1, QColor(0x23, 0x4d, 0x86));
  painter.fillRect(image.rect(), sky);

  drawMark(painter);
  drawTiles(painter);

  painter.setPen(Qt::white);
  QFont title(QStringLiteral("Sans Serif"));
  title.setPixelSize(24);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRectF(88, 30, 224, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Kip Launch"));
  painter.drawText(QRectF(88, 60, 224, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Manager"));
  QFont small(QStringLiteral("Sans Serif"));
  small.setPixelSize(12);
  painter.setFont(small);
  painter.setPen(QColor(0xc8, 0xd6, 0xec));
  painter.drawText(QRectF(88, 94, 224, 18), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Your programs, started your way"));
  painter.end();
  return image;
}

}  // namespace kip
