#include "ui/program_form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "doubles/fake_condition_tester.h"
#include "doubles/fake_system_info.h"
#include "doubles/memory_registry.h"
#include "doubles/scripted_prompts.h"

namespace kip::test {
namespace {

// The definition dialog over the real form logic, driven with keys and clicks.
class ProgramFormWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    snapshot.IsNT = true;
    snapshot.UserName = "alice";
    FormCreate(state, ProgramFormEnvironment{registry, snapshot, system});
    form = std::make_unique<TProgramForm>(
        state, ProgramFormServices{prompts, tester, [this](int topic) { helpTopics.push_back(topic); }});
  }

  void open(const StartDefinition& definition, ProgramFormPage page) {
    LoadDefinition(state, definition);
    form->prepareShow(page);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  }

  // A click on a check box's or radio button's indicator.
  static void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }
  static void retype(QWidget* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
  }
  // Leaves the focused field with Tab and lets the deferred time check run.
  static void leave(QWidget* field) {
    QTest::keyClick(field, Qt::Key_Tab);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
  }
  const TProgramForm::Controls& c() { return form->controls(); }

  MemoryRegistry registry;
  EnvironmentSnapshot snapshot;
  FakeSystemInfo system;
  ScriptedPrompts prompts;
  FakeConditionTester tester;
  std::vector<int> helpTopics;
  ProgramFormState state;
  std::unique_ptr<TProgramForm> form;
};

TEST_F(ProgramFormWidgetTest, EditsEveryTabAndStoresAfterOk) {
  StartDefinition d;
  d.Name = "Mail";
  d.Module = "/bin/mail";
  d.Delay = 7200;
  d.Sequence = 1000;
  d.Executed = 46000.5;
  d.Result = "OK";
  open(d, ProgramFormPage::Program);

  EXPECT_EQ(form->windowTitle(), "Kip Launch Manager - Program Definition");
  EXPECT_EQ(QApplication::focusWidget(), c().ModuleName);
  EXPECT_EQ(c().DelayCount->text(), "2");
  EXPECT_EQ(c().CB_delayunits->currentText(), "Hours");
  EXPECT_EQ(c().SequenceNumber->text(), "1000");  // shown whole
  EXPECT_EQ(c().DelayCount->accessibleName(), "Delay before starting");
  EXPECT_EQ(c().DelayCount->accessibleDescription(), "DelayCount");
  // A screen reader hears the definition's name, not the caption in front of it.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(c().Title)->text(QAccessible::Name), "Mail");
  EXPECT_FALSE(c().ReadOnlyLabel->isVisible());
  EXPECT_EQ(form->minimumSize(), form->maximumSize());  // fixed, so no window manager offers to maximise it
  // A screen reader on Linux names a combo box by its text and its linked label: each unit list has a label.
  for (auto [units, name] : {std::pair{c().CB_delayunits, "Delay units"},
                             {c().CB_frequnits, "Frequency units"},
                             {c().CB_waitunits, "Wait units"},
                             {c().CB_msgunits, "Action units"}}) {
    const auto labels = units->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
      return label->buddy() == units && label->text() == name;
    })) << name;
  }

  // Program
  retype(c().ModuleName, "/usr/bin/xterm");
  c().RunWindow->setFocus();
  QTest::keyClick(c().RunWindow, Qt::Key_Down);
  click(c().CB_delay);
  EXPECT_FALSE(c().DelayGroup->isEnabled());

  // Conditions
  c().Pages->setCurrentIndex(1);
  EXPECT_FALSE(c().UserComboBox->isEnabled());
  click(c().SpecialUser);
  EXPECT_TRUE(c().UserComboBox->isEnabled());
  retype(c().UserComboBox, "carol");
  click(qobject_cast<QRadioButton*>(c().NETRadioGroup->findChildren<QRadioButton*>().at(1)));
  click(c().CB_net);
  retype(c().Net_Resource, "host");
  click(c().RB_netNo);

  // Times: a reversed window is reported once, when the second field is left, and kept
  click(c().CB_times);
  click(c().CB_days);
  click(c().CB_day[6]);
  retype(c().TimeFrom, "1700");
  leave(c().TimeFrom);
  EXPECT_TRUE(prompts.messages.empty());
  retype(c().TimeTo, "0930");
  leave(c().TimeTo);
  EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"from time > to time"});
  EXPECT_EQ(QApplication::focusWidget(), c().TimeTo);
  QCoreApplication::processEvents();
  EXPECT_EQ(prompts.messages.size(), 1u);

  // Afterwards
  c().Pages->setCurrentIndex(3);
  click(c().CB_wait);
  click(qobject_cast<QRadioButton*>(c().WaitRadioGroup->findChildren<QRadioButton*>().at(1)));
  retype(c().WaitCount, "5");
  c().CB_waitunits->setFocus();
  QTest::keyClick(c().CB_waitunits, Qt::Key_Down);
  QTest::mouseClick(c().HelpButton, Qt::LeftButton);
  EXPECT_EQ(helpTopics, std::vector<int>{38});

  // Status
  c().Pages->setCurrentIndex(4);
  EXPECT_FALSE(c().LastExecuted->text().isEmpty());
  EXPECT_TRUE(c().LastTested->text().isEmpty());
  EXPECT_EQ(c().ExecMsg->text(), "OK");
  // A value is heard as its text, an empty one as empty rather than as the caption in front of it.
  auto heard = [](QLabel* value) { return QAccessible::queryAccessibleInterface(value)->text(QAccessible::Name); };
  EXPECT_EQ(heard(c().LastTested), "");
  EXPECT_EQ(heard(c().ExecMsg), "OK");

  QTest::mouseClick(c().TestButton, Qt::LeftButton);
  EXPECT_EQ(prompts.messages.back().text, "All conditions passed!");

  // A text the registry cannot keep is refused at OK, naming its field.
  c().CommandLine->setText(QString(300, 'p'));
  QTest::mouseClick(c().OkButton, Qt::LeftButton);
  EXPECT_TRUE(form->isVisible());
  EXPECT_NE(prompts.messages.back().text.find("Parameters"), std::string::npos);
  c().CommandLine->clear();
  QTest::mouseClick(c().OkButton, Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Accepted);
  StoreDefinition(state, d);
  EXPECT_TRUE(d.Changed);
  EXPECT_EQ(d.Module, "/usr/bin/xterm");
  EXPECT_EQ(d.Parms, "");
  EXPECT_EQ(d.Window, 1);
  EXPECT_EQ(d.Delay, 0);
  EXPECT_EQ(d.Sequence, 1000);
  EXPECT_EQ(d.User, "carol");
  EXPECT_EQ(d.Net, 1);
  EXPECT_EQ(std::pair(d.NetTest, d.NetResource), std::pair(-1, std::string("host")));
  EXPECT_EQ(std::pair(d.From, d.To), std::pair(1700, 930));
  EXPECT_EQ(d.Days, 63);
  EXPECT_EQ(std::pair(d.Wait, d.WaitType), std::pair(300, 1));
  EXPECT_EQ(d.Executed, 46000.5);
}

TEST_F(ProgramFormWidgetTest, OtherScopeIsReadOnlyButBrowsable) {
  StartDefinition d;
  d.Name = "Shared";
  d.User = "bob";
  d.OtherScope = true;
  open(d, ProgramFormPage::Conditions);
  EXPECT_TRUE(c().ReadOnlyLabel->isVisible());
  EXPECT_EQ(c().ReadOnlyLabel->text(), "Shared definition: Read Only");
  for (QWidget* content : c().PageContents) EXPECT_FALSE(content->isEnabled());
  EXPECT_FALSE(c().UserComboBox->isEnabled());
  EXPECT_EQ(c().UserComboBox->currentText(), "bob");
  c().Pages->setCurrentIndex(2);
  EXPECT_EQ(c().Pages->currentIndex(), 2);
  EXPECT_TRUE(c().OkButton->isEnabled());
  QTest::mouseClick(c().OkButton, Qt::LeftButton);
  StoreDefinition(state, d);
  EXPECT_FALSE(d.Changed);
  EXPECT_EQ(d.User, "bob");
}

}  // namespace
}  // namespace kip::test
