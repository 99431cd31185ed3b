#include "ui/splash_screen.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QPainter>
#include <QScreen>

#include "ui/control_naming.h"
#include "ui/splash_picture.h"

namespace kip {
namespace {

constexpr int kClientWidth = 330;
constexpr int kClientHeight = 249;
constexpr int kBevelWidth = 2;

}  // namespace

TSplashscreen::TSplashscreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_picture(QPixmap::fromImage(splashPicture())) {
  nameControl(this, "Splashscreen", QStringLiteral("Kip Launch Manager"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(kClientWidth, kClientHeight);
}

void TSplashscreen::showAndPaint() {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  show();
  raise();
  repaint();
  QCoreApplication::processEvents();
}

void TSplashscreen::paintEvent(QPaintEvent*) {
  // A panel filling the window with a lowered outer and a lowered inner bevel, the picture inside.
  QPainter painter(this);
  const QRect outer = rect();
  const QRect inner = outer.adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
  painter.fillRect(outer, palette().window());
  qDrawShadePanel(&painter, outer, palette(), true, kBevelWidth);
  qDrawShadePanel(&painter, inner, palette(), true, kBevelWidth);
  const QRect client = inner.adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
  QRect target(QPoint(), m_picture.size());
  target.moveCenter(client.center());
  painter.drawPixmap(target, m_picture);
}

}  // namespace kip
