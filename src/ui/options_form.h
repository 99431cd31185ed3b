#pragma once

#include <QDialog>

#include "conditions/network_probe.h"
#include "model/preferences.h"
#include "platform/prompts.h"
#include "ui/logic/options_form_state.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kip {

// What the options dialog works on: the running preferences and the last network result it stores
// into, the probe its network test runs, and the prompts that show the test's outcome.
struct OptionsFormServices {
  Preferences& prefs;
  NetworkResults& results;
  NetworkProbe& probe;
  Prompts& prompts;
};

// "Advanced Options": edits the running preferences (never the registry). Escape presses "Test now...";
// the close box and "Cancel" cancel.
class TOptionsForm final : public QDialog {
  Q_OBJECT

 public:
  struct Controls {
    QGroupBox* GB_start;
    QLabel* Label15;
    QLabel* LogonRunText;
    QLineEdit* DelayCount;
    QGroupBox* GB_display;
    QCheckBox* CB_splash;
    QCheckBox* CB_global;
    QCheckBox* CB_netState;
    QGroupBox* RG_netTest;
    QRadioButton* RG_netTestItems[3];
    QLineEdit* NetTest;
    QPushButton* TestButton;
    QGroupBox* GroupBox1;
    QCheckBox* CB_proxy;
    QLabel* Label1;
    QLineEdit* ProxyAddr;
    QLabel* Label2;
    QLineEdit* ProxyPort;
    QPushButton* OkButton;
    QPushButton* CancelButton;
  };

  explicit TOptionsForm(OptionsFormServices services, QWidget* parent = nullptr);

  // Loads the controls, shows the dialog modally and, on "Ok", stores into the running preferences.
  // True when it ended with "Ok": the caller then applies the "Global Entries" setting.
  bool showModal();

  // Loads every control from the running preferences (also run by showModal).
  void FormShow();
  void OkButtonClick();
  void TestButtonClick();

  [[nodiscard]] const Controls& controls() const { return m_controls; }
  [[nodiscard]] const OptionsFormState& state() const { return m_state; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void build();
  // State to widgets, without running the click steps again.
  void pushAll();
  void pushEnabling();
  // Widgets to state.
  void pullTexts();

  OptionsFormServices m_services;
  OptionsFormState m_state;
  Controls m_controls{};
  QButtonGroup* m_netGroup = nullptr;
};

}  // namespace kip
