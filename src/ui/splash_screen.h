#pragma once

#include <QPixmap>
#include <QWidget>

namespace kip {

// The borderless picture that stands on top of other windows, centred on the screen, while the
// program starts. It reacts to nothing and has no timer: its owner closes it when start-up ends.
class TSplashscreen final : public QWidget {
  Q_OBJECT

 public:
  explicit TSplashscreen(QWidget* parent = nullptr);

  // Shows it and lets it paint before the caller goes on with the start-up work.
  void showAndPaint();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_picture;
};

}  // namespace kip
