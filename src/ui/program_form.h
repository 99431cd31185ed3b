#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "conditions/condition_tester.h"
#include "platform/prompts.h"
#include "ui/logic/program_form.h"
#include "ui/logic/program_form_state.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace kip {

class ProgramFormBinder;

// What the definition dialog asks of the rest of the program.
struct ProgramFormServices {
  Prompts& prompts;
  ConditionTester& tester;
  std::function<void(int topic)> openHelp;  // opens a help topic; empty: the help pages (openHelpTopic)
};

// The definition dialog: shows the form state on five tabs and forwards every user action to the form logic.
// The definition manager owns the state and runs LoadDefinition before and StoreDefinition after showModal.
class TProgramForm : public QDialog {
  Q_OBJECT
 public:
  // The widgets, named as their members of the form state.
  struct Controls {
    QTabWidget* Pages;
    std::vector<QWidget*> PageContents;  // one per tab, disabled for a read-only definition
    QLabel* Title;
    QLabel* CondTitle;
    QLabel* TimeTitle;
    QLabel* FreqTitle;
    QLabel* StatTitle;
    QLabel* ConfigLabel;
    QLabel* UserLabel;
    QLabel* GroupLabel;
    QCheckBox* Disabled;
    QLineEdit* ModuleName;
    QPushButton* ModuleBrowse;
    QLineEdit* CommandLine;
    QPushButton* ParameterBrowse;
    QLineEdit* StartDirectory;
    QPushButton* DirectoryBrowse;
    QComboBox* RunWindow;
    QCheckBox* CB_delay;
    QGroupBox* DelayGroup;
    QLineEdit* DelayCount;
    QComboBox* CB_delayunits;
    QLineEdit* SequenceNumber;
    QCheckBox* SpecialConfig;
    QComboBox* ConfigComboBox;
    QCheckBox* SpecialUser;
    QComboBox* UserComboBox;
    QCheckBox* SpecialGroup;
    QComboBox* GroupComboBox;
    QGroupBox* NETRadioGroup;
    QGroupBox* DUNRadioGroup;
    QGroupBox* APMRadioGroup;
    QCheckBox* CB_change;
    QGroupBox* ChangeGroup;
    QCheckBox* CB_cConfig;
    QCheckBox* CB_cPower;
    QCheckBox* CB_cUser;
    QCheckBox* CB_net;
    QGroupBox* NetGroup;
    QRadioButton* RB_netYes;
    QRadioButton* RB_netNo;
    QLineEdit* Net_Resource;
    QGroupBox* DesktopGroup;
    QLineEdit* DesktopOnly;
    QLineEdit* DesktopNot;
    QLineEdit* TryExecProgram;
    QLineEdit* AutostartCondition;
    QCheckBox* CB_days;
    QGroupBox* DaysGroup;
    std::array<QCheckBox*, 7> CB_day;
    QCheckBox* CB_times;
    QGroupBox* TimesGroup;
    QLineEdit* TimeFrom;
    QLineEdit* TimeTo;
    QCheckBox* CB_freq;
    QGroupBox* FreqGroup;
    QLineEdit* FreqCount;
    QComboBox* CB_frequnits;
    QCheckBox* CB_wait;
    QGroupBox* WaitGroup;
    QGroupBox* WaitRadioGroup;
    QLineEdit* WaitCount;
    QComboBox* CB_waitunits;
    QCheckBox* CB_msg;
    QGroupBox* MsgGroup;
    QGroupBox* MsgRadioGroup;
    QLineEdit* MsgCount;
    QComboBox* CB_msgunits;
    QLabel* LastExecuted;
    QLabel* LastTested;
    QLabel* ExecMsg;
    QLabel* ReadOnlyLabel;
    QPushButton* OkButton;
    QPushButton* CancelButton;
    QPushButton* TestButton;
    QPushButton* HelpButton;
  };

  TProgramForm(ProgramFormState& state, ProgramFormServices services, QWidget* parent = nullptr);
  ~TProgramForm() override;

  // Shows the state modally on the given tab; true when closed with OK (the user's entries are then in the
  // state, for StoreDefinition).
  bool showModal(ProgramFormPage page);
  // The show step without the modal loop: brings the widgets in line with the state, opens the tab and sets
  // the focus. showModal runs it; tests call it before show().
  void prepareShow(ProgramFormPage page);

  [[nodiscard]] const Controls& controls() const { return m_controls; }

  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  void bind();
  void setFocusTo(FormFocus focus);
  void checkTimes(bool leavingFrom);

  ProgramFormState& m_state;
  ProgramFormServices m_services;
  Controls m_controls{};
  ProgramFormBinder* m_binder = nullptr;
  std::array<QButtonGroup*, 5> m_radioButtons{};  // NET, DUN, APM, Wait, Msg
  QButtonGroup* m_netPresence = nullptr;
  bool m_inTimeCheck = false;  // a time check (its message or its focus change) is running
};

}  // namespace kip
