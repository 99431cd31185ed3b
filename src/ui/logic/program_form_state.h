#pragma once

#include <array>
#include <string>

#include "base/date_time.h"
#include "ui/logic/form_controls.h"

namespace kip {

enum class ProgramFormPage { Program, Conditions, Times, Afterwards, Status };
inline constexpr int kProgramFormPages = 5;

// The definition dialog: one member per control, named as the design names them, plus what the dialog keeps
// besides its controls. It persists between loads: what one load left in the controls decides whether the
// next load marks its definition changed.
struct ProgramFormState {
  // "Program" tab
  Label Title;
  CheckBox Disabled;
  Edit ModuleName;
  Edit CommandLine;
  Edit StartDirectory;
  ComboBox RunWindow;
  CheckBox CB_delay;
  GroupBox DelayGroup;
  Edit DelayCount = countEdit();
  ComboBox CB_delayunits;
  Edit SequenceNumber = countEdit();

  // "Conditions" tab
  Label CondTitle;
  CheckBox SpecialConfig;
  Label ConfigLabel{"Configuration", true, true};
  ComboBox ConfigComboBox = editableCombo(true);
  CheckBox SpecialUser;
  Label UserLabel{"Userid ", true, true};
  ComboBox UserComboBox = editableCombo(false);
  CheckBox SpecialGroup;
  Label GroupLabel{"Group", true, true};
  ComboBox GroupComboBox = editableCombo(false);
  RadioGroup NETRadioGroup;
  RadioGroup DUNRadioGroup;
  RadioGroup APMRadioGroup;
  CheckBox CB_change;
  GroupBox ChangeGroup;
  CheckBox CB_cConfig;
  CheckBox CB_cPower;
  CheckBox CB_cUser;
  CheckBox CB_net;
  GroupBox NetGroup;
  RadioButton RB_netYes{true, true};
  RadioButton RB_netNo;
  Edit Net_Resource;
  // The desktop session's conditions, as a desktop's autostart entries carry them
  Edit DesktopOnly;         // OnlyShowIn
  Edit DesktopNot;          // NotShowIn
  Edit TryExecProgram;      // TryExec
  Edit AutostartCondition;  // AutostartCondition

  // "Times" tab
  Label TimeTitle;
  CheckBox CB_days;
  GroupBox DaysGroup;
  std::array<CheckBox, 7> CB_day;  // CB_day1 (Monday) to CB_day7 (Sunday)
  CheckBox CB_times;
  GroupBox TimesGroup;
  Edit TimeFrom = textEdit("00:00");
  Edit TimeTo = textEdit("24:00");
  CheckBox CB_freq;
  GroupBox FreqGroup;
  Edit FreqCount = countEdit();
  ComboBox CB_frequnits;

  // "Afterwards" tab
  Label FreqTitle;
  CheckBox CB_wait;
  GroupBox WaitGroup;
  RadioGroup WaitRadioGroup;
  Edit WaitCount = countEdit();
  ComboBox CB_waitunits;
  CheckBox CB_msg;
  GroupBox MsgGroup;
  RadioGroup MsgRadioGroup;
  Edit MsgCount = countEdit();
  ComboBox CB_msgunits;

  // "Status" tab
  Label StatTitle;
  Label LastExecuted;
  Label LastTested;
  Label ExecMsg;

  // Below the tabs
  Label ReadOnlyLabel{"Shared definition: Read Only", false, true};
  bool PagesEnabled = true;  // the contents of all five tabs; false for a definition of the other scope
  ProgramFormPage ActivePage = ProgramFormPage::Program;

  bool DialogChanged = false;
  std::string PendingIconSource;  // the file whose icon the store gives the definition
  DateTime KeptExecuted = 0.0;
  DateTime KeptTested = 0.0;
};

}  // namespace kip
