#include "ui/logic/program_form.h"

#include <gtest/gtest.h>

#include "doubles/fake_condition_tester.h"
#include "doubles/fake_system_info.h"
#include "doubles/memory_registry.h"
#include "doubles/scripted_prompts.h"
#include "model/registry_layout.h"

namespace kip::test {
namespace {

class ProgramFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string profiles(kHardwareProfilesKey);
    registry.setText(Hive::LocalMachine, profiles + "\\0001", "FriendlyName", "Undocked");
    registry.setText(Hive::LocalMachine, profiles + "\\0002", "FriendlyName", "docked");
    registry.setText(Hive::LocalMachine, profiles + "\\0003", "FriendlyName", "Office");
    snapshot.IsNT = true;
    snapshot.ConfigName = "Office";
    snapshot.UserName = "alice";
    FormCreate(form, ProgramFormEnvironment{registry, snapshot, system});
  }

  // Loads, shows and stores a definition as the dialog does for an OK without edits; edit runs in between.
  StartDefinition roundTrip(const StartDefinition& original, const std::function<void()>& edit = {}) {
    StartDefinition stored = original;
    LoadDefinition(form, stored);
    FormShow(form, ProgramFormPage::Program);
    if (edit) edit();
    StoreDefinition(form, stored);
    return stored;
  }

  MemoryRegistry registry;
  EnvironmentSnapshot snapshot;
  FakeSystemInfo system;
  ScriptedPrompts prompts;
  ProgramFormState form;
};

TEST_F(ProgramFormTest, CreationFillsTheListsFromTheMachine) {
  EXPECT_EQ(form.ConfigComboBox.Items, (std::vector<std::string>{"docked", "Office", "Undocked"}));
  EXPECT_EQ(form.ConfigComboBox.Text, "Office");
  EXPECT_EQ(form.UserComboBox.Items, std::vector<std::string>{"alice"});
  EXPECT_EQ(form.RunWindow.Text, "Normal");
  EXPECT_TRUE(form.SpecialGroup.Enabled);
  EXPECT_TRUE(form.APMRadioGroup.Enabled);

  ProgramFormState other;
  system.power.reset();
  snapshot.UserName.clear();
  FormCreate(other, ProgramFormEnvironment{registry, snapshot, system});
  EXPECT_FALSE(other.APMRadioGroup.Enabled);
  EXPECT_TRUE(other.UserComboBox.Items.empty());
}

// Every persisted value survives a load and an unedited store, and the definition is not marked changed;
// values the three-digit fields cannot hold are shown whole.
TEST_F(ProgramFormTest, UneditedStoreKeepsEveryValue) {
  StartDefinition d;
  d.Name = "Mail";
  d.Module = "/usr/bin/mail";
  d.Parms = "-x";
  d.StartDirectory = "/tmp";
  d.Configuration = "Lab";  // not a profile of this machine
  d.User = "bob";
  d.Group = "staff";
  d.NetResource = "\\\\srv\\share";
  d.NetTest = -1;
  d.Window = 5;  // no entry of the list
  d.Apm = 1;
  d.Net = 1;
  d.Dun = 2;
  d.Sequence = 1000;
  d.Days = 0b0010101;
  d.From = 930;
  d.To = 1700;
  d.Frequency = 12;
  d.Units = 9;
  d.Changes = 5;
  d.Delay = 1000;
  d.Msg = 5400;
  d.MsgID = 3;
  d.Wait = 172800;
  d.WaitType = 1;
  d.Disable = true;
  d.Executed = 45000.5;
  d.Tested = 45001.25;
  d.IconSource = "/usr/bin/mail";
  d.OnlyShowIn = "KDE;XFCE";
  d.NotShowIn = "GNOME";
  d.TryExec = "mail";
  d.AutostartCondition = "if-exists mail-on";
  const StartDefinition stored = roundTrip(d);
  EXPECT_EQ(form.DesktopOnly.Text, "KDE;XFCE");
  EXPECT_EQ(form.AutostartCondition.Text, "if-exists mail-on");
  EXPECT_EQ(stored.NotShowIn, "GNOME");
  EXPECT_EQ(stored.TryExec, "mail");

  EXPECT_FALSE(stored.Changed);
  EXPECT_EQ(form.SequenceNumber.Text, "1000");
  EXPECT_EQ(form.DelayCount.Text, "1000");
  EXPECT_EQ(form.TimeFrom.Text, "09:30");
  EXPECT_TRUE(form.RB_netNo.Checked);
  EXPECT_EQ(form.ConfigComboBox.Text, "Lab");
  for (auto [a, b] : {std::pair{d.Module, stored.Module},
                      {d.Parms, stored.Parms},
                      {d.StartDirectory, stored.StartDirectory},
                      {d.Configuration, stored.Configuration},
                      {d.User, stored.User},
                      {d.Group, stored.Group},
                      {d.NetResource, stored.NetResource},
                      {d.IconSource, stored.IconSource}})
    EXPECT_EQ(a, b);
  for (auto [a, b] : {std::pair{d.NetTest, stored.NetTest},
                      {d.Window, stored.Window},
                      {d.Apm, stored.Apm},
                      {d.Net, stored.Net},
                      {d.Dun, stored.Dun},
                      {d.Sequence, stored.Sequence},
                      {d.Days, stored.Days},
                      {d.From, stored.From},
                      {d.To, stored.To},
                      {d.Frequency, stored.Frequency},
                      {d.Units, stored.Units},
                      {d.Changes, stored.Changes},
                      {d.Delay, stored.Delay},
                      {d.Msg, stored.Msg},
                      {d.MsgID, stored.MsgID},
                      {d.Wait, stored.Wait},
                      {d.WaitType, stored.WaitType}})
    EXPECT_EQ(a, b);
  EXPECT_EQ(stored.Executed, d.Executed);
  EXPECT_EQ(stored.Tested, d.Tested);
  EXPECT_TRUE(stored.Disable);
  EXPECT_EQ(stored.StateSummary, "Mains,Net,NoDialup");
  EXPECT_EQ(stored.TimingSummary, "1000sec/-90min");
  EXPECT_EQ(stored.ConditionSummary, "User; Day; Time; Freq; Chng; Res; Dlay; Act; Wait");
}

struct TimingCase {
  std::int32_t value;
  std::string count;
  int unit;
  std::string summary;
};

class TimingUnitTest : public ProgramFormTest, public ::testing::WithParamInterface<TimingCase> {};

// The largest exact unit, and the same value stored back without marking the definition changed.
TEST_P(TimingUnitTest, ShowsTheLargestExactUnit) {
  const auto& c = GetParam();
  StartDefinition d;
  d.Delay = c.value;
  const StartDefinition stored = roundTrip(d);
  EXPECT_EQ(form.DelayCount.Text, c.count);
  EXPECT_EQ(form.CB_delayunits.ItemIndex, c.unit);
  EXPECT_EQ(form.CB_delay.Checked, c.value != 0);
  EXPECT_EQ(form.DelayGroup.Enabled, c.value != 0);
  EXPECT_EQ(stored.Delay, c.value);
  EXPECT_EQ(stored.TimingSummary, c.summary);
  EXPECT_FALSE(stored.Changed);
}

INSTANTIATE_TEST_SUITE_P(Delays, TimingUnitTest,
                         ::testing::Values(TimingCase{0, "0", 0, ""}, TimingCase{60, "1", 1, "1min"},
                                           TimingCase{90, "90", 0, "90sec"}, TimingCase{3600, "1", 2, "1hour"},
                                           TimingCase{5400, "90", 1, "90min"}, TimingCase{7200, "2", 2, "2hour"},
                                           TimingCase{86400, "1", 3, "1day"}, TimingCase{90000, "25", 2, "25hour"},
                                           TimingCase{1000, "1000", 0, "1000sec"},
                                           TimingCase{-120, "-120", 0, "-120sec"}));

struct EditCase {
  const char* what;
  std::function<void(ProgramFormState&)> edit;
  std::function<void(const StartDefinition&)> check;
};

class StoreEditTest : public ProgramFormTest, public ::testing::WithParamInterface<EditCase> {};

// An edit through the controls reaches the definition in its encoding and marks it changed.
TEST_P(StoreEditTest, EditIsStored) {
  StartDefinition d;
  d.Delay = 30;
  d.Msg = 10;
  d.From = 930;
  d.To = 1700;
  d.NetTest = 1;
  d.NetResource = "host";
  const StartDefinition stored = roundTrip(d, [&] { GetParam().edit(form); });
  GetParam().check(stored);
  EXPECT_TRUE(stored.Changed);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, StoreEditTest,
    ::testing::Values(
        EditCase{"untick delay", [](auto& f) { SetChecked(f, f.CB_delay, false); },
                 [](auto& d) {
                   EXPECT_EQ(d.Delay, 0);
                   EXPECT_EQ(d.TimingSummary, "-10sec");
                 }},
        EditCase{"delay in minutes", [](auto& f) { SetComboIndex(f, f.CB_delayunits, 1); },
                 [](auto& d) {
                   EXPECT_EQ(d.Delay, 1800);
                   EXPECT_EQ(d.TimingSummary, "30min/-10sec");
                 }},
        EditCase{"untick times", [](auto& f) { SetChecked(f, f.CB_times, false); },
                 [](auto& d) { EXPECT_EQ(std::pair(d.From, d.To), std::pair(0, 2400)); }},
        EditCase{"reversed times stored as entered",
                 [](auto& f) {
                   SetText(f, f.TimeFrom, "17:00");
                   SetText(f, f.TimeTo, "09:3 ");
                 },
                 [](auto& d) { EXPECT_EQ(std::pair(d.From, d.To), std::pair(1700, 2400)); }},
        EditCase{"emptied resource turns the test off", [](auto& f) { SetText(f, f.Net_Resource, ""); },
                 [](auto& d) { EXPECT_EQ(std::pair(d.NetTest, d.NetResource), std::pair(0, std::string())); }},
        EditCase{"absent", [](auto& f) { SetNetPresent(f, false); }, [](auto& d) { EXPECT_EQ(d.NetTest, -1); }},
        EditCase{"desktop session",
                 [](auto& f) {
                   SetText(f, f.DesktopOnly, "KDE");
                   SetText(f, f.TryExecProgram, "orca");
                   SetText(f, f.AutostartCondition, "GSettings org.a11y screen-reader-enabled");
                 },
                 [](auto& d) {
                   EXPECT_EQ(d.OnlyShowIn, "KDE");
                   EXPECT_EQ(d.TryExec, "orca");
                   EXPECT_EQ(d.AutostartCondition, "GSettings org.a11y screen-reader-enabled");
                 }},
        EditCase{"days",
                 [](auto& f) {
                   SetChecked(f, f.CB_days, true);
                   SetChecked(f, f.CB_day[6], false);
                   SetChecked(f, f.CB_day[0], false);
                 },
                 [](auto& d) { EXPECT_EQ(d.Days, 127 - 64 - 1); }},
        EditCase{"typed user",
                 [](auto& f) {
                   SetChecked(f, f.SpecialUser, true);
                   SetComboText(f, f.UserComboBox, "carol");
                 },
                 [](auto& d) { EXPECT_EQ(d.User, "carol"); }},
        EditCase{"wait for finish",
                 [](auto& f) {
                   SetChecked(f, f.CB_wait, true);
                   SetText(f, f.WaitCount, "2");
                   SetComboIndex(f, f.CB_waitunits, 2);
                   SetRadio(f, f.WaitRadioGroup, 1);
                 },
                 [](auto& d) {
                   EXPECT_EQ(std::pair(d.Wait, d.WaitType), std::pair(7200, 1));
                   EXPECT_EQ(d.ConditionSummary, "Time; Res; Dlay; Act; Wait");
                 }}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// A load that changes a tracked control marks a definition stored without showing; showing clears that.
TEST_F(ProgramFormTest, LoadChangesCountOnlyWithoutShowing) {
  StartDefinition first, second;
  first.Module = "/bin/a";
  second.Module = "/bin/b";
  LoadDefinition(form, first);
  StoreDefinition(form, first);
  LoadDefinition(form, second);
  StoreDefinition(form, second);
  EXPECT_TRUE(second.Changed);
  second.Changed = false;
  LoadDefinition(form, second);
  StoreDefinition(form, second);
  EXPECT_FALSE(second.Changed);
  first.Changed = false;
  EXPECT_FALSE(roundTrip(first).Changed);
}

struct TimeCheckCase {
  std::string from, to;
  bool leavingFrom;
  std::vector<std::string> messages;
  FormFocus focus;
};

class TimeCheckTest : public ProgramFormTest, public ::testing::WithParamInterface<TimeCheckCase> {};

TEST_P(TimeCheckTest, ReportsWithoutCorrecting) {
  const auto& c = GetParam();
  SetText(form, form.TimeFrom, c.from);
  SetText(form, form.TimeTo, c.to);
  EXPECT_EQ(TimeFieldExit(form, prompts, c.leavingFrom), c.focus);
  EXPECT_EQ(prompts.messageTexts(), c.messages);
  EXPECT_EQ(form.TimeFrom.Text, c.from);
}

INSTANTIATE_TEST_SUITE_P(
    Times, TimeCheckTest,
    ::testing::Values(
        TimeCheckCase{"09:30", "17:00", true, {}, FormFocus::None},
        TimeCheckCase{"00:00", "24:00", false, {}, FormFocus::None},
        TimeCheckCase{"17:00", "09:30", false, {"from time > to time"}, FormFocus::TimeTo},
        TimeCheckCase{"17:00", "09:30", true, {"from time > to time"}, FormFocus::TimeFrom},
        TimeCheckCase{"24:00", "24:00", true, {"Invalid from time specified"}, FormFocus::TimeFrom},
        TimeCheckCase{"10:60", "  :  ", false, {"Invalid from time specified"}, FormFocus::TimeFrom},
        TimeCheckCase{
            "23:00", "22:61", false, {"Invalid to time specified", "from time > to time"}, FormFocus::TimeTo}));

struct BrowseCase {
  std::string path, name, directory;  // name and directory preset before the browse
  std::string expectedName, expectedDirectory;
};

class ProgramBrowseTest : public ProgramFormTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(ProgramBrowseTest, FillsNameAndStartDirectoryWhenEmpty) {
  const auto& c = GetParam();
  StartDefinition d;
  d.Name = c.name;
  d.StartDirectory = c.directory;
  d.IconSource = "/old";
  LoadDefinition(form, d);
  prompts.openNames.push_back(c.path);
  ProgramBrowseClick(form, prompts);
  StoreDefinition(form, d);
  EXPECT_EQ(prompts.openDialogs.at(0).title, "Select program to execute");
  EXPECT_EQ(d.Name, c.expectedName);
  EXPECT_EQ(form.StatTitle.Caption, c.expectedName);
  EXPECT_EQ(d.StartDirectory, c.expectedDirectory);
  EXPECT_EQ(d.Module, c.path);
  EXPECT_EQ(d.IconSource, c.path);
}

INSTANTIATE_TEST_SUITE_P(Paths, ProgramBrowseTest,
                         ::testing::Values(BrowseCase{"/usr/bin/xterm", "", "", "xterm", "/usr/bin"},
                                           BrowseCase{"/opt/run.sh", "Keep", "/home", "Keep", "/home"},
                                           BrowseCase{"/.hidden", "", "", ".hidden", "/"},
                                           BrowseCase{"C:\\Tools\\Editor.exe", "", "", "Editor", "C:\\Tools"},
                                           BrowseCase{"C:Editor.exe", "", "", "Editor", "C:"},
                                           BrowseCase{"plain", "", "", "", ""}));

TEST_F(ProgramFormTest, OtherBrowsesFillTheirFieldsAndCancelChangesNothing) {
  SetText(form, form.ModuleName, "/bin/prog");
  prompts.openNames = {"/tmp/a file", std::nullopt};
  prompts.folderNames = {"/srv"};
  ParameterBrowseClick(form, prompts);
  ParameterBrowseClick(form, prompts);
  DirectoryBrowseClick(form, prompts);
  EXPECT_EQ(prompts.openDialogs.at(0).fileName, "/bin/prog");
  EXPECT_EQ(prompts.openDialogs.at(1).fileName, "/tmp/a file");
  EXPECT_EQ(form.CommandLine.Text, "\"/tmp/a file\"");
  EXPECT_EQ(prompts.folderDialogs.at(0).title, "Choose the Start Directory");
  EXPECT_EQ(form.StartDirectory.Text, "/srv");
}

TEST_F(ProgramFormTest, TestButtonReportsAndLeavesTheDefinitionAlone) {
  FakeConditionTester tester;
  StartDefinition d;
  d.Name = "Bad";
  d.Delay = 30;
  LoadDefinition(form, d);
  FormShow(form, ProgramFormPage::Program);
  tester.failing = {"Bad"};
  TestButtonClick(form, tester, prompts);
  form.Title.Caption = "Good";
  TestButtonClick(form, tester, prompts);
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_EQ(prompts.messages[0].text, "Condition tests failed: Failed: Configuration");
  EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(prompts.messages[1].text, "All conditions passed!");  // the delay is not part of the test
  EXPECT_FALSE(form.DialogChanged);

  // The desktop's lack of window commands is told only for a start that needs them: a minimised start here.
  const std::string note = "Window commands are not available on this desktop.";
  TestButtonClick(form, tester, prompts, note);
  SetComboIndex(form, form.RunWindow, 1);
  form.DialogChanged = false;
  TestButtonClick(form, tester, prompts, note);
  form.Title.Caption = "Bad";
  TestButtonClick(form, tester, prompts, note);
  ASSERT_EQ(prompts.messages.size(), 5u);
  EXPECT_EQ(prompts.messages[2].text, "All conditions passed!");
  EXPECT_EQ(prompts.messages[3].text, "All conditions passed!\n\n" + note);
  EXPECT_EQ(prompts.messages[4].text, "Condition tests failed: Failed: Configuration\n\n" + note);
  EXPECT_FALSE(form.DialogChanged);
  EXPECT_EQ(HelpTopic(ProgramFormPage::Afterwards), 38);
}

TEST_F(ProgramFormTest, OkRefusesTextsTheRegistryCannotKeep) {
  SetText(form, form.CommandLine, std::string(260, 'x'));
  EXPECT_FALSE(OkButtonClick(form, prompts));
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(prompts.messages[0].text.find("Parameters"), std::string::npos);
  SetText(form, form.CommandLine, std::string(259, 'x'));
  SetComboText(form, form.GroupComboBox, std::string(300, 'g'));  // not stored while unticked
  EXPECT_TRUE(OkButtonClick(form, prompts));
}

}  // namespace
}  // namespace kip::test
