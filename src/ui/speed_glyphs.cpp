#include "ui/speed_glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kip {

namespace {

constexpr int kSize = 20;

// A sheet of paper with a folded corner.
void drawPage(QPainter& p, QRectF r) {
  QPainterPath page;
  const qreal fold = r.width() * 0.35;
  page.moveTo(r.topLeft());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.bottomRight());
  page.lineTo(r.bottomLeft());
  page.closeSubpath();
  p.setPen(QPen(QColor(70, 70, 70), 1));
  p.setBrush(Qt::white);
  p.drawPath(page);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

// Small items with a caption line each: in rows of two for small icons, in one column for the list.
void drawItems(QPainter& p, int columns) {
  const int rows = columns == 1 ? 4 : 2;
  const qreal step = 18.0 / rows;
  const qreal width = 18.0 / columns;
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column) {
      const QPointF at(1.5 + column * width, 1.5 + row * step);
      p.setPen(QPen(QColor(70, 70, 70), 1));
      p.setBrush(QColor(90, 140, 210));
      p.drawRect(QRectF(at, QSizeF(step - 2, step - 2)));
      p.drawLine(QPointF(at.x() + step, at.y() + (step - 2) / 2), QPointF(at.x() + width - 2, at.y() + (step - 2) / 2));
    }
}

}  // namespace

QIcon speedGlyph(SpeedGlyph glyph) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (glyph) {
    case SpeedGlyph::New:
      drawPage(p, QRectF(3.5, 1.5, 12, 16));
      p.setPen(QPen(QColor(0, 140, 0), 2.5));
      p.drawLine(QPointF(14, 11), QPointF(14, 19));
      p.drawLine(QPointF(10, 15), QPointF(18, 15));
      break;
    case SpeedGlyph::Copy:
      drawPage(p, QRectF(1.5, 1.5, 11, 13));
      drawPage(p, QRectF(7.5, 5.5, 11, 13));
      break;
    case SpeedGlyph::Delete:
      drawPage(p, QRectF(3.5, 1.5, 12, 16));
      p.setPen(QPen(QColor(200, 0, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9, 9), QPointF(18, 18));
      p.drawLine(QPointF(18, 9), QPointF(9, 18));
      break;
    case SpeedGlyph::Edit:
      drawPage(p, QRectF(2.5, 1.5, 12, 16));
      p.setPen(QPen(QColor(180, 120, 0), 3, Qt::SolidLine, Qt::FlatCap));
      p.drawLine(QPointF(9, 17), QPointF(18, 7));
      p.setPen(QPen(QColor(60, 60, 60), 1.5));
      p.drawLine(QPointF(8, 18.5), QPointF(9.5, 16.5));
      break;
    case SpeedGlyph::SmallIcons:
      drawItems(p, 2);
      break;
    case SpeedGlyph::List:
      drawItems(p, 1);
      break;
    case SpeedGlyph::Help: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(30, 90, 200));
      p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
      QFont font = p.font();
      font.setBold(true);
      font.setPixelSize(14);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(pixmap.rect(), Qt::AlignCenter, "?");
      break;
    }
  }
  p.end();
  return QIcon(pixmap);
}

}  // namespace kip
