#pragma once

#include <QDialog>
#include <functional>

#include "conditions/network_probe.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "platform/system_info.h"
#include "ui/logic/exe_version.h"

class QLabel;
class QPushButton;

namespace kip {

// What the about box reads: the snapshot, the running preferences and network result, the probe for
// the network line, the power status, and the opener of the home page.
struct AboutBoxServices {
  const EnvironmentSnapshot& env;
  const Preferences& prefs;
  NetworkResults& results;
  NetworkProbe& probe;
  SystemInfo& system;
  // Opens the home page address; by default through the desktop's opener.
  std::function<void(const QString&)> openAddress = {};
};

// "About Kip Launch Manager": product, version and copyright from the program's version section, the
// home page link, and the power, configuration, user and network lines, refilled at every activation.
class TAboutBox final : public QDialog {
  Q_OBJECT

 public:
  struct Controls {
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* Copyright;
    QLabel* HomePage;
    QLabel* Power;
    QLabel* Configuration;
    QLabel* User;
    QLabel* Network;
    QPushButton* OKButton;
  };

  static constexpr const char* kHomePage = "https://kiplaunch.example.org/";

  explicit TAboutBox(AboutBoxServices services, QWidget* parent = nullptr, TExeVersion version = TExeVersion());

  void showModal();
  // Fills every line; runs each time the box becomes the active window.
  void FormActivate();
  void HomePageClick();

  [[nodiscard]] const Controls& controls() const { return m_controls; }

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  AboutBoxServices m_services;
  TExeVersion ExeVersion1;
  Controls m_controls{};
};

}  // namespace kip
