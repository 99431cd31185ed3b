#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace kip {

// The local socket through which a second copy asks the running one to raise its main window.
class InstanceChannel : public QObject {
  Q_OBJECT
 public:
  explicit InstanceChannel(const QString& runtimeDir, QObject* parent = nullptr);

  // Listens for raise requests; the caller holds the instance lock, so a stale socket may be removed.
  bool listen();
  // Asks the running copy to raise its window; false when no copy answers.
  static bool askToRaise(const QString& runtimeDir, int timeoutMs = 2000);

 signals:
  void raiseRequested();

 private:
  static QString socketPath(const QString& runtimeDir);
  QString m_runtimeDir;
  QLocalServer* m_server = nullptr;
};

}  // namespace kip
