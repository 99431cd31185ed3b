#pragma once

#include <QObject>

class QSocketNotifier;

namespace kip {

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the event loop: the end of the session.
class SessionSignals : public QObject {
  Q_OBJECT
 public:
  explicit SessionSignals(QObject* parent = nullptr);
  ~SessionSignals() override;

 signals:
  void sessionEnding();

 private:
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace kip
