#pragma once

#include <string>

#include "ui/logic/form_controls.h"

namespace kip {

// The state of every control of the "Advanced Options" dialog, named as the controls are. The dialog
// copies it to its widgets and back; the handlers below decide everything.
struct OptionsFormState {
  // RG_netTest items.
  static constexpr int kMsLogon = 0;
  static constexpr int kDialUp = 1;
  static constexpr int kResourceTest = 2;

  Edit DelayCount{"0"};
  // Under the delay: whether the logon run is on and the command that switches it; no control changes it.
  Label LogonRunText;
  CheckBox CB_splash;
  CheckBox CB_global;
  CheckBox CB_netState;
  RadioGroup RG_netTest;
  Edit NetTest{"", false, true};
  CheckBox CB_proxy;
  Label Label1{"", true, false};
  Edit ProxyAddr{"", false, true};
  Label Label2{"", true, false};
  Edit ProxyPort{"", false, true};
  // The control that gets the input focus when the dialog shows.
  std::string ActiveControl;
};

}  // namespace kip
