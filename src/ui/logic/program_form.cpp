#include "ui/logic/program_form.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

#include "app/hardware_profiles.h"
#include "engine/launcher.h"
#include "ui/logic/definition_summaries.h"
#include "ui/logic/help_topics.h"

namespace kip {

namespace {

constexpr std::array<std::int64_t, 4> kTimingFactors = {1, 60, 3600, 86400};
const std::vector<std::string> kTimingUnits = {"Seconds", "Minutes", "Hours", "Days"};
const std::vector<std::string> kFrequencyUnits = {"Minutes", "Hours", "Days", "Weeks", "Months", "Years"};
const std::vector<std::string> kRunStyles = {"Normal", "Minimised", "Maximised"};

// A count, sequence or time field read as a whole number: an optional sign and digits, nothing else.
std::optional<std::int32_t> readWhole(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  const auto* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// A masked hh:mm field as hhmm; nullopt while it holds blanks or anything but digits.
std::optional<std::int32_t> readTime(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c != ':') digits += c;
  if (digits.empty() || !std::all_of(digits.begin() + (digits[0] == '-' ? 1 : 0), digits.end(),
                                     [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return readWhole(digits);
}

std::string timeText(std::int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d", static_cast<int>(value));
  // Appended piece by piece: GCC 12 at -O3 mistakes an insert here for an overlapping copy.
  const std::string_view digits(buffer);
  std::string text(digits.substr(0, digits.size() - 2));
  text += ':';
  text += digits.substr(digits.size() - 2);
  return text;
}

// A count field's text; the field grows for a stored value longer than it can normally hold, so that the
// value is shown whole and stored back unchanged.
void setCount(ProgramFormState& form, Edit& edit, std::int64_t value) {
  std::string text = std::to_string(value);
  edit.MaxLength = std::max<std::size_t>(3, text.size());
  SetText(form, edit, text);
}

std::int32_t clampToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// The count and unit of a timing field times the unit's factor.
std::int32_t timingValue(const Edit& count, const ComboBox& units) {
  const int unit = std::clamp(units.ItemIndex, 0, 3);
  return clampToInt32(std::int64_t{readWhole(count.Text).value_or(0)} * kTimingFactors[unit]);
}

// Shows a duration in the largest unit that divides it evenly.
void loadTiming(ProgramFormState& form, std::int32_t value, CheckBox& box, Edit& count, ComboBox& units) {
  std::int64_t v = value;
  int unit = 0;
  if (v > 59 && v % 60 == 0) {
    v /= 60;
    unit = 1;
    if (v > 59 && v % 60 == 0) {
      v /= 60;
      unit = 2;
      if (v > 23 && v % 24 == 0) {
        v /= 24;
        unit = 3;
      }
    }
  }
  setCount(form, count, v);
  SetComboIndex(form, units, unit);
  SetChecked(form, box, value != 0);
}

void setList(ComboBox& combo, const std::vector<std::string>& items, int index) {
  combo.Items = items;
  combo.ItemIndex = index;
  combo.Text = index >= 0 ? items[static_cast<std::size_t>(index)] : std::string();
}

bool lessForList(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    const auto lx = (x >= 'A' && x <= 'Z') ? x + 32 : x;
    const auto ly = (y >= 'A' && y <= 'Z') ? y + 32 : y;
    return lx < ly;
  });
}

int indexOf(const std::vector<std::string>& items, std::string_view text) {
  auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}
int indexOf(const ComboBox& combo, std::string_view text) { return indexOf(combo.Items, text); }

FileDialogOptions dialogOptions(std::string title, std::string start, bool programs) {
  FileDialogOptions options;
  options.title = std::move(title);
  options.fileName = std::move(start);
  if (programs) {
    options.filter = std::string(kProgramFilter);
    options.executablesFirst = true;
  }
  return options;
}

// Adds text to the list (in its sorted place for a sorted list) unless it is there; its index.
int addItem(ComboBox& combo, const std::string& text) {
  if (int index = indexOf(combo, text); index >= 0) return index;
  auto at =
      combo.Sorted ? std::upper_bound(combo.Items.begin(), combo.Items.end(), text, lessForList) : combo.Items.end();
  const auto index = at - combo.Items.begin();
  if (combo.ItemIndex >= index) ++combo.ItemIndex;
  combo.Items.insert(at, text);
  return static_cast<int>(index);
}

// A restriction: ticks its box and selects the name, adding it to the list first; an empty one unticks it.
void loadRestriction(ProgramFormState& form, const std::string& value, CheckBox& box, ComboBox& combo) {
  if (value.empty()) {
    SetChecked(form, box, false);
    return;
  }
  SetChecked(form, box, true);
  SetComboIndex(form, combo, addItem(combo, value));
}

bool isTracked(const ProgramFormState& form, const void* control) {
  return control == &form.ModuleName || control == &form.CommandLine || control == &form.StartDirectory ||
         control == &form.RunWindow || control == &form.ConfigComboBox || control == &form.UserComboBox ||
         control == &form.GroupComboBox || control == &form.APMRadioGroup || control == &form.NETRadioGroup ||
         control == &form.DUNRadioGroup || control == &form.MsgRadioGroup || control == &form.WaitRadioGroup;
}

void setTitles(ProgramFormState& form, const std::string& name) {
  for (Label* label : {&form.Title, &form.CondTitle, &form.TimeTitle, &form.FreqTitle, &form.StatTitle})
    label->Caption = name;
}

std::string unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

std::size_t lastPathSeparator(std::string_view path) { return path.find_last_of("\\:/"); }

void CheckBoxClick(ProgramFormState& form, CheckBox& box) {
  const std::array<std::pair<CheckBox*, GroupBox*>, 8> groups = {{{&form.CB_days, &form.DaysGroup},
                                                                  {&form.CB_times, &form.TimesGroup},
                                                                  {&form.CB_freq, &form.FreqGroup},
                                                                  {&form.CB_change, &form.ChangeGroup},
                                                                  {&form.CB_delay, &form.DelayGroup},
                                                                  {&form.CB_msg, &form.MsgGroup},
                                                                  {&form.CB_net, &form.NetGroup},
                                                                  {&form.CB_wait, &form.WaitGroup}}};
  for (auto [check, group] : groups)
    if (check == &box) {
      group->Enabled = box.Checked;
      form.DialogChanged = true;
      return;
    }
  const std::array<std::tuple<CheckBox*, ComboBox*, Label*>, 3> specials = {
      {{&form.SpecialConfig, &form.ConfigComboBox, &form.ConfigLabel},
       {&form.SpecialUser, &form.UserComboBox, &form.UserLabel},
       {&form.SpecialGroup, &form.GroupComboBox, &form.GroupLabel}}};
  for (auto [check, combo, label] : specials)
    if (check == &box) {
      combo->Enabled = label->Enabled = box.Checked;
      form.DialogChanged = true;
      return;
    }
}

void SetChecked(ProgramFormState& form, CheckBox& box, bool checked) {
  if (box.Checked == checked) return;
  box.Checked = checked;
  CheckBoxClick(form, box);
}

void SetText(ProgramFormState& form, Edit& edit, std::string_view text) {
  if (edit.Text == text) return;
  edit.Text = text;
  if (isTracked(form, &edit)) form.DialogChanged = true;
}

void SetComboText(ProgramFormState& form, ComboBox& combo, std::string_view text) {
  if (combo.Text == text) return;
  combo.Text = text;
  if (combo.ItemIndex >= 0 && (static_cast<std::size_t>(combo.ItemIndex) >= combo.Items.size() ||
                               combo.Items[static_cast<std::size_t>(combo.ItemIndex)] != text))
    combo.ItemIndex = -1;
  if (isTracked(form, &combo)) form.DialogChanged = true;
}

void SetComboIndex(ProgramFormState& form, ComboBox& combo, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= combo.Items.size()) index = -1;
  combo.ItemIndex = index;
  const std::string text = index >= 0 ? combo.Items[static_cast<std::size_t>(index)] : std::string();
  if (combo.Text == text) return;
  combo.Text = text;
  if (isTracked(form, &combo)) form.DialogChanged = true;
}

void SetRadio(ProgramFormState& form, RadioGroup& group, int index) {
  if (group.ItemIndex == index) return;
  group.ItemIndex = index;
  if (isTracked(form, &group)) form.DialogChanged = true;
}

void SetNetPresent(ProgramFormState& form, bool present) {
  form.RB_netYes.Checked = present;
  form.RB_netNo.Checked = !present;
}

void FormCreate(ProgramFormState& form, const ProgramFormEnvironment& environment) {
  setList(form.RunWindow, kRunStyles, 0);
  for (ComboBox* units : {&form.CB_delayunits, &form.CB_waitunits, &form.CB_msgunits}) setList(*units, kTimingUnits, 0);
  setList(form.CB_frequnits, kFrequencyUnits, 0);

  auto profiles = readHardwareProfileNames(environment.registry, environment.snapshot.IsNT);
  std::stable_sort(profiles.begin(), profiles.end(), lessForList);
  setList(form.ConfigComboBox, profiles, indexOf(profiles, environment.snapshot.ConfigName));

  const std::string& user = environment.snapshot.UserName;
  if (user.empty())
    setList(form.UserComboBox, {}, -1);
  else
    setList(form.UserComboBox, {user}, 0);
  setList(form.GroupComboBox, {}, -1);

  form.SpecialGroup.Enabled = environment.snapshot.IsNT;
  form.APMRadioGroup.Enabled = environment.system.powerStatus().has_value();
  // Until a definition is loaded the restriction lists follow their (unticked) boxes.
  form.ConfigComboBox.Enabled = form.ConfigLabel.Enabled = form.SpecialConfig.Checked;
  form.UserComboBox.Enabled = form.UserLabel.Enabled = form.SpecialUser.Checked;
  form.GroupComboBox.Enabled = form.GroupLabel.Enabled = form.SpecialGroup.Checked;
}

void LoadDefinition(ProgramFormState& form, const StartDefinition& d) {
  form.DialogChanged = false;
  form.PendingIconSource = d.IconSource;

  setTitles(form, d.Name);
  SetText(form, form.ModuleName, d.Module);
  SetText(form, form.CommandLine, d.Parms);
  SetText(form, form.StartDirectory, d.StartDirectory);
  SetComboIndex(form, form.RunWindow, d.Window);
  SetRadio(form, form.APMRadioGroup, d.Apm);
  SetRadio(form, form.NETRadioGroup, d.Net);
  SetRadio(form, form.DUNRadioGroup, d.Dun);

  loadRestriction(form, d.Configuration, form.SpecialConfig, form.ConfigComboBox);
  loadRestriction(form, d.User, form.SpecialUser, form.UserComboBox);
  loadRestriction(form, d.Group, form.SpecialGroup, form.GroupComboBox);

  // The long dates are written into their labels when the dialog is shown (FormShow).
  form.KeptExecuted = d.Executed;
  form.KeptTested = d.Tested;
  form.ExecMsg.Caption = d.Result;

  SetChecked(form, form.CB_days, d.Days != 127);
  for (std::size_t day = 0; day < form.CB_day.size(); ++day)
    SetChecked(form, form.CB_day[day], (d.Days & (1 << day)) != 0);

  setCount(form, form.FreqCount, d.Frequency);
  SetComboIndex(form, form.CB_frequnits, d.Units);
  SetChecked(form, form.CB_freq, d.Frequency != 0);

  SetText(form, form.TimeFrom, timeText(d.From));
  SetText(form, form.TimeTo, timeText(d.To));
  SetChecked(form, form.CB_times, d.From != 0 || d.To != 2400);

  SetChecked(form, form.CB_change, d.Changes != 0);
  SetChecked(form, form.CB_cConfig, (d.Changes & 1) != 0);
  SetChecked(form, form.CB_cPower, (d.Changes & 2) != 0);
  SetChecked(form, form.CB_cUser, (d.Changes & 4) != 0);

  SetChecked(form, form.CB_net, d.NetTest != 0);
  SetNetPresent(form, d.NetTest >= 0);
  SetText(form, form.Net_Resource, d.NetResource);
  SetText(form, form.DesktopOnly, d.OnlyShowIn);
  SetText(form, form.DesktopNot, d.NotShowIn);
  SetText(form, form.TryExecProgram, d.TryExec);
  SetText(form, form.AutostartCondition, d.AutostartCondition);

  loadTiming(form, d.Delay, form.CB_delay, form.DelayCount, form.CB_delayunits);
  loadTiming(form, d.Msg, form.CB_msg, form.MsgCount, form.CB_msgunits);
  loadTiming(form, d.Wait, form.CB_wait, form.WaitCount, form.CB_waitunits);
  SetRadio(form, form.MsgRadioGroup, d.MsgID);
  SetRadio(form, form.WaitRadioGroup, d.WaitType);

  setCount(form, form.SequenceNumber, d.Sequence);

  form.PagesEnabled = !d.OtherScope;
  form.ReadOnlyLabel.Visible = d.OtherScope;

  SetChecked(form, form.Disabled, d.Disable);
}

FormFocus FormShow(ProgramFormState& form, ProgramFormPage page, const LongDateTimeFormat& format) {
  for (CheckBox* box : {&form.CB_days, &form.CB_times, &form.CB_freq, &form.CB_change, &form.CB_delay, &form.CB_msg,
                        &form.CB_net, &form.CB_wait})
    CheckBoxClick(form, *box);
  form.DialogChanged = false;
  form.ActivePage = page;

  // A moment whose whole-day part is 0 was never reached.
  auto dateText = [&format](DateTime value) {
    if (static_cast<std::int64_t>(value) == 0 || !format) return std::string();
    return format(value);
  };
  form.LastExecuted.Caption = dateText(form.KeptExecuted);
  form.LastTested.Caption = dateText(form.KeptTested);

  return PageFocus(form, page);
}

FormFocus PageFocus(const ProgramFormState& form, ProgramFormPage page) {
  if (!form.PagesEnabled) return FormFocus::None;
  switch (page) {
    case ProgramFormPage::Program:
      return FormFocus::ModuleName;
    case ProgramFormPage::Conditions:
      return FormFocus::SpecialConfig;
    case ProgramFormPage::Times:
      return FormFocus::CB_days;
    case ProgramFormPage::Afterwards:
      return FormFocus::CB_wait;
    case ProgramFormPage::Status:
      break;
  }
  return FormFocus::None;
}

void StoreConditions(ProgramFormState& form, StartDefinition& d) {
  d.Name = form.Title.Caption;
  d.Module = form.ModuleName.Text;
  d.Parms = form.CommandLine.Text;
  d.StartDirectory = form.StartDirectory.Text;
  // A stored value the list has no entry for stays as it is until the user picks one.
  if (form.RunWindow.ItemIndex >= 0) d.Window = form.RunWindow.ItemIndex;
  d.Apm = form.APMRadioGroup.ItemIndex;
  d.Net = form.NETRadioGroup.ItemIndex;
  d.Dun = form.DUNRadioGroup.ItemIndex;
  d.StateSummary = buildStateSummary(d.Apm, d.Net, d.Dun);

  d.Configuration = form.SpecialConfig.Checked ? form.ConfigComboBox.Text : std::string();
  d.User = form.SpecialUser.Checked ? form.UserComboBox.Text : std::string();
  d.Group = form.SpecialGroup.Checked ? form.GroupComboBox.Text : std::string();

  std::int32_t from = 0;
  std::int32_t to = 2400;
  if (form.CB_times.Checked) {
    from = readTime(form.TimeFrom.Text).value_or(0);
    to = readTime(form.TimeTo.Text).value_or(2400);
  }
  if (from != d.From || to != d.To) {
    d.From = from;
    d.To = to;
    form.DialogChanged = true;
  }

  std::int32_t days = 127;
  if (form.CB_days.Checked) {
    days = 0;
    for (std::size_t day = 0; day < form.CB_day.size(); ++day)
      if (form.CB_day[day].Checked) days |= 1 << day;
  }
  if (days != d.Days) {
    d.Days = days;
    form.DialogChanged = true;
  }

  std::int32_t frequency = 0;
  if (form.CB_freq.Checked) {
    frequency = readWhole(form.FreqCount.Text).value_or(0);
    if (form.CB_frequnits.ItemIndex >= 0 && form.CB_frequnits.ItemIndex != d.Units) {
      d.Units = form.CB_frequnits.ItemIndex;
      form.DialogChanged = true;
    }
  }
  if (frequency != d.Frequency) {
    d.Frequency = frequency;
    form.DialogChanged = true;
  }

  std::int32_t changes = 0;
  if (form.CB_change.Checked)
    changes = (form.CB_cConfig.Checked ? 1 : 0) + (form.CB_cPower.Checked ? 2 : 0) + (form.CB_cUser.Checked ? 4 : 0);
  if (changes != d.Changes) {
    d.Changes = changes;
    form.DialogChanged = true;
  }

  std::int32_t netTest = 0;
  if (form.CB_net.Checked && !form.Net_Resource.Text.empty()) netTest = form.RB_netNo.Checked ? -1 : 1;
  if (netTest != d.NetTest || (netTest != 0 && form.Net_Resource.Text != d.NetResource)) {
    d.NetResource = form.Net_Resource.Text;
    d.NetTest = netTest;
    form.DialogChanged = true;
  }

  for (auto [edit, field] : {std::pair{&form.DesktopOnly, &d.OnlyShowIn},
                             {&form.DesktopNot, &d.NotShowIn},
                             {&form.TryExecProgram, &d.TryExec},
                             {&form.AutostartCondition, &d.AutostartCondition}}) {
    if (edit->Text == *field) continue;
    *field = edit->Text;
    form.DialogChanged = true;
  }

  d.Executed = form.KeptExecuted;
  d.Tested = form.KeptTested;
}

void StoreDefinition(ProgramFormState& form, StartDefinition& d) {
  StoreConditions(form, d);
  d.IconSource = form.PendingIconSource;

  const std::int32_t sequence = readWhole(form.SequenceNumber.Text).value_or(0);
  if (sequence != d.Sequence) {
    d.Sequence = sequence;
    form.DialogChanged = true;
  }

  d.TimingSummary.clear();
  std::int32_t delay = 0;
  if (form.CB_delay.Checked) {
    d.TimingSummary = form.DelayCount.Text + std::string(timingUnitWord(form.CB_delayunits.ItemIndex));
    delay = timingValue(form.DelayCount, form.CB_delayunits);
  }
  if (delay != d.Delay) {
    d.Delay = delay;
    form.DialogChanged = true;
  }

  std::int32_t msg = 0;
  if (form.CB_msg.Checked) {
    d.TimingSummary = (form.CB_delay.Checked ? d.TimingSummary + "/-" : std::string("-")) + form.MsgCount.Text +
                      std::string(timingUnitWord(form.CB_msgunits.ItemIndex));
    msg = timingValue(form.MsgCount, form.CB_msgunits);
    if (form.MsgRadioGroup.ItemIndex != d.MsgID) {
      d.MsgID = form.MsgRadioGroup.ItemIndex;
      form.DialogChanged = true;
    }
  }
  if (msg != d.Msg) {
    d.Msg = msg;
    form.DialogChanged = true;
  }

  std::int32_t wait = 0;
  if (form.CB_wait.Checked) {
    wait = timingValue(form.WaitCount, form.CB_waitunits);
    if (form.WaitRadioGroup.ItemIndex != d.WaitType) {
      d.WaitType = form.WaitRadioGroup.ItemIndex;
      form.DialogChanged = true;
    }
  }
  if (wait != d.Wait) {
    d.Wait = wait;
    form.DialogChanged = true;
  }

  d.ConditionSummary = buildConditionSummary(d);

  if (form.Disabled.Checked != d.Disable) {
    d.Disable = form.Disabled.Checked;
    form.DialogChanged = true;
  }
  if (form.DialogChanged) d.Changed = true;
}

void UserComboBoxExit(ProgramFormState&, ComboBox& combo) {
  if (combo.ItemIndex < 0 && !combo.Text.empty() && indexOf(combo, combo.Text) < 0) addItem(combo, combo.Text);
}

FormFocus TimeFieldExit(ProgramFormState& form, Prompts& prompts, bool leavingFrom) {
  FormFocus focus = FormFocus::None;
  const std::int32_t start = readTime(form.TimeFrom.Text).value_or(0);
  if (start > 2359 || start % 100 > 59) {
    prompts.message("Invalid from time specified", MessageIcon::Information);
    focus = FormFocus::TimeFrom;
  }
  const std::int32_t end = readTime(form.TimeTo.Text).value_or(2400);
  if (end > 2400 || end % 100 > 59) {
    prompts.message("Invalid to time specified", MessageIcon::Information);
    focus = FormFocus::TimeTo;
  }
  if (end < start) {
    prompts.message("from time > to time", MessageIcon::Information);
    focus = leavingFrom ? FormFocus::TimeFrom : FormFocus::TimeTo;
  }
  return focus;
}

void ProgramBrowseClick(ProgramFormState& form, Prompts& prompts) {
  const auto chosen = prompts.openFileName(dialogOptions("Select program to execute", form.ModuleName.Text, true));
  if (!chosen) return;
  const std::string& path = *chosen;
  form.PendingIconSource = path;
  SetText(form, form.ModuleName, path);

  const std::size_t s = lastPathSeparator(path);
  if (form.Title.Caption.empty() && s != std::string::npos) {
    const std::size_t d = path.rfind('.');
    const bool stem = d != std::string::npos && d > s + 1;
    setTitles(form, stem ? path.substr(s + 1, d - s - 1) : path.substr(s + 1));
  }
  if (form.StartDirectory.Text.empty() && s != std::string::npos) {
    // A drive keeps its colon ("C:"); the root folder keeps its slash.
    const bool keep = path[s] == ':' || (path[s] == '/' && s == 0);
    SetText(form, form.StartDirectory, path.substr(0, keep ? s + 1 : s));
  }
}

void ParameterBrowseClick(ProgramFormState& form, Prompts& prompts) {
  const std::string& start = form.CommandLine.Text.empty() ? form.ModuleName.Text : form.CommandLine.Text;
  const auto chosen =
      prompts.openFileName(dialogOptions("Select filename to pass as parameter", unquoted(start), true));
  if (!chosen) return;
  // The launcher splits parameters at blanks: a path holding one is passed as one argument in quotes.
  const bool quote = chosen->find_first_of(" \t") != std::string::npos;
  SetText(form, form.CommandLine, quote ? "\"" + *chosen + "\"" : *chosen);
}

void DirectoryBrowseClick(ProgramFormState& form, Prompts& prompts) {
  const auto chosen = prompts.folderName(dialogOptions("Choose the Start Directory", form.StartDirectory.Text, false));
  if (chosen) SetText(form, form.StartDirectory, *chosen);
}

void TestButtonClick(ProgramFormState& form, ConditionTester& tester, Prompts& prompts, const std::string& windowNote) {
  const bool changed = form.DialogChanged;
  StartDefinition temporary;
  StoreConditions(form, temporary);
  tester.test(temporary);
  std::string note;
  if (!windowNote.empty()) {
    StartDefinition whole;
    StoreDefinition(form, whole);
    if (usesWindowCommands(whole)) note = "\n\n" + windowNote;
  }
  if (temporary.TestResult != 0)
    prompts.message("Condition tests failed: " + temporary.Result + note, MessageIcon::Error);
  else
    prompts.message("All conditions passed!" + note, MessageIcon::Information);
  form.DialogChanged = changed;
}

int HelpTopic(ProgramFormPage page) {
  switch (page) {
    case ProgramFormPage::Program:
      return help_topic::kProgramTab;
    case ProgramFormPage::Conditions:
      return help_topic::kConditionsTab;
    case ProgramFormPage::Times:
      return help_topic::kTimesTab;
    case ProgramFormPage::Afterwards:
      return help_topic::kAfterwardsTab;
    case ProgramFormPage::Status:
      return help_topic::kStatusTab;
  }
  return kProgramFormHelpTopic;
}

bool OkButtonClick(const ProgramFormState& form, Prompts& prompts) {
  // The restriction texts are stored only while their boxes are ticked.
  const std::array<std::tuple<const char*, const std::string*, bool>, 11> texts = {{
      {"Program", &form.ModuleName.Text, true},
      {"Parameters", &form.CommandLine.Text, true},
      {"Start in", &form.StartDirectory.Text, true},
      {"Configuration", &form.ConfigComboBox.Text, form.SpecialConfig.Checked},
      {"Userid", &form.UserComboBox.Text, form.SpecialUser.Checked},
      {"Group", &form.GroupComboBox.Text, form.SpecialGroup.Checked},
      {"Resource", &form.Net_Resource.Text, true},
      {"Only in desktops", &form.DesktopOnly.Text, true},
      {"Not in desktops", &form.DesktopNot.Text, true},
      {"Needs program", &form.TryExecProgram.Text, true},
      {"Autostart condition", &form.AutostartCondition.Text, true},
  }};
  for (auto [field, text, stored] : texts) {
    if (!stored || text->size() <= kMaxTextLength) continue;
    prompts.message("\"" + form.Title.Caption + "\": the " + field + " text is " + std::to_string(text->size()) +
                        " bytes long; at most " + std::to_string(kMaxTextLength) + " can be kept. Please shorten it.",
                    MessageIcon::Error);
    return false;
  }
  return true;
}

}  // namespace kip
