// A Wayland-native program with one plain top-level window, for the window tests under a compositor whose
// outputs other test clients cannot cope with. It ends when its window is closed.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "wayland");
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("kip test window"));
  window.resize(320, 200);
  window.show();
  return app.exec();
}
