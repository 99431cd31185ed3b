#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

#include "doubles/fake_probes.h"
#include "doubles/scripted_prompts.h"
#include "ui/about_box.h"
#include "ui/help_key_filter.h"
#include "ui/help_opener.h"
#include "ui/logic/help_topics.h"
#include "ui/options_form.h"
#include "ui/splash_picture.h"
#include "ui/splash_screen.h"

namespace kip::test {
namespace {

TEST(HelpPages, EveryTopicInUseHasItsPage) {
  for (const int topic : kHelpTopics) EXPECT_FALSE(helpTopicPage(topic).isEmpty()) << "topic " << topic;
  EXPECT_TRUE(helpTopicPage(9999).isEmpty());
}

// F1 opens the topic of the focused widget or of its nearest ancestor that names one.
TEST(HelpKeyFilter, F1OpensTheNearestTopic) {
  std::vector<int> opened;
  HelpKeyFilter filter(nullptr, [&](int topic) { opened.push_back(topic); });
  qApp->installEventFilter(&filter);

  QWidget window;
  window.setProperty(kHelpTopicProperty, 43);
  auto* layout = new QVBoxLayout(&window);
  auto* group = new QWidget(&window);
  group->setProperty(kHelpTopicProperty, 39);
  auto* own = new QCheckBox(QStringLiteral("own"), group);
  own->setProperty(kHelpTopicProperty, 40);
  auto* inherits = new QCheckBox(QStringLiteral("inherits"), group);
  auto* plain = new QLineEdit(&window);
  layout->addWidget(group);
  layout->addWidget(plain);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(own);
  groupLayout->addWidget(inherits);
  // A menu command bound to F1 must not take the key away from the focused control's topic.
  auto* contents = new QAction(&window);
  contents->setShortcut(Qt::Key_F1);
  window.addAction(contents);
  int contentsTriggered = 0;
  QObject::connect(contents, &QAction::triggered, [&] { ++contentsTriggered; });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  for (auto [widget, topic] : std::vector<std::pair<QWidget*, int>>{{own, 40}, {inherits, 39}, {plain, 43}}) {
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_F1);
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), topic);
  }
  EXPECT_EQ(contentsTriggered, 0);
  EXPECT_EQ(opened.size(), 3u);  // once per press, not once per widget the key passes through
  QTest::keyClick(plain, Qt::Key_F2);
  EXPECT_EQ(opened.size(), 3u);
  qApp->removeEventFilter(&filter);
}

// The page is handed to $KIPLAUNCH_OPENER as a file: address.
TEST(HelpOpener, RunsTheOpenerWithThePageAddress) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString script = dir.filePath(QStringLiteral("opener"));
  const QString record = dir.filePath(QStringLiteral("opened"));
  QFile file(script);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1.tmp' && mv '%1.tmp' '%1'\n").arg(record).toUtf8());
  file.close();
  file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("KIPLAUNCH_OPENER", script.toUtf8());

  EXPECT_FALSE(openHelpTopic(9999));
  ASSERT_TRUE(openHelpTopic(43));
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
  QFile opened(record);
  ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
  EXPECT_EQ(QUrl(QString::fromUtf8(opened.readAll())), QUrl::fromLocalFile(helpTopicPage(43)));
  qunsetenv("KIPLAUNCH_OPENER");
}

class OptionsWindowsTest : public ::testing::Test {
 protected:
  Preferences prefs{.StartupDelay = 5, .Network = "\\\\srv\\x", .Proxy = "px", .Port = "81"};
  NetworkResults results{-53, 0};
  FakeProbes probes;
  ScriptedPrompts prompts;
};

// Click at the left end, where a check box or radio button reacts.
void tick(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2)); }

// A whole opening with the keyboard and mouse: Escape tests and stays open, edits are stored on "Ok".
TEST_F(OptionsWindowsTest, ModalOpeningTestsOnEscapeAndStoresOnOk) {
  TOptionsForm form({prefs, results, probes.probe, prompts});
  const auto& c = form.controls();
  bool answered = false;
  QTimer::singleShot(0, &form, [&] {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), c.DelayCount);
    EXPECT_TRUE(c.NetTest->isVisible() && c.ProxyPort->isEnabled());
    QTest::keyClicks(c.DelayCount, "12");  // replaces the selected text
    QTest::keyClick(c.DelayCount, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    tick(c.RG_netTestItems[0]);
    EXPECT_FALSE(c.NetTest->isVisible());
    tick(c.CB_proxy);
    EXPECT_FALSE(c.ProxyAddr->isEnabled() || c.Label1->isEnabled());
    tick(c.CB_global);
    answered = true;
    QTest::mouseClick(c.OkButton, Qt::LeftButton);
  });
  QTimer::singleShot(5000, &form, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) static_cast<QDialog*>(modal)->reject();
  });
  EXPECT_TRUE(form.showModal());
  EXPECT_TRUE(answered);
  EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"No Network: Rc-53 (\\\\srv\\x)"});
  EXPECT_EQ(std::tuple(prefs.StartupDelay, prefs.Network, results.lastNetwork, prefs.Proxy, prefs.Port, prefs.Global),
            std::tuple(12, "", 0, "", "", true));
}

TEST_F(OptionsWindowsTest, CloseBoxAndCancelChangeNothing) {
  TOptionsForm form({prefs, results, probes.probe, prompts});
  for (bool closeBox : {true, false}) {
    form.FormShow();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.controls().DelayCount->setText("99");
    closeBox ? void(form.close()) : QTest::mouseClick(form.controls().CancelButton, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(std::tuple(form.result(), prefs.StartupDelay), std::tuple(int(QDialog::Rejected), 5));
  }
}

// The controls carry their help topics, and each topic has its page.
TEST_F(OptionsWindowsTest, ControlsNameTheirHelpTopics) {
  TOptionsForm form({prefs, results, probes.probe, prompts});
  const auto& c = form.controls();
  const std::pair<QWidget*, int> topics[] = {
      {&form, 43},       {c.GB_start, 37},   {c.DelayCount, 37},  {c.GB_display, 39},
      {c.CB_splash, 39}, {c.CB_global, 40},  {c.CB_netState, 60}, {c.RG_netTestItems[1], 61},
      {c.NetTest, 63},   {c.TestButton, 62}, {c.GroupBox1, 64},   {c.CB_proxy, 39},
      {c.ProxyAddr, 37}, {c.ProxyPort, 37},  {c.OkButton, 53},    {c.CancelButton, 54}};
  for (const auto& [widget, topic] : topics) {
    EXPECT_EQ(HelpKeyFilter::topicOf(widget), topic) << widget->objectName().toStdString();
    EXPECT_FALSE(helpTopicPage(topic).isEmpty());
  }
  EXPECT_EQ(c.DelayCount->accessibleDescription(), "DelayCount");
  EXPECT_EQ(c.DelayCount->accessibleName(), "Seconds delay before execution starts");
  EXPECT_EQ(c.TestButton->accessibleName(), "Test now...");
  // The line under the delay tells whether the logon run is on and how to switch it; nothing here changes it.
  for (const bool on : {false, true}) {
    prefs.AutostartEnabled = on;
    form.FormShow();
    EXPECT_EQ(c.LogonRunText->text(), on ? "The logon run is on; kipctl autostart off switches it off."
                                         : "The logon run is off; kipctl autostart on switches it on.");
    EXPECT_EQ(c.LogonRunText->accessibleName(), c.LogonRunText->text());
  }
}

TEST_F(OptionsWindowsTest, AboutBoxFillsItsLinesAndOpensTheHomePage) {
  EnvironmentSnapshot env;
  env.ConfigName = "Docked";
  prefs.AboutNet = true;
  results.lastNetwork = 0;
  probes.services.defaultShareCode = 0;  // no verdict: every activation probes again
  std::vector<QString> opened;
  TAboutBox box({env, prefs, results, probes.probe, probes.system, [&](const QString& a) { opened.push_back(a); }},
                nullptr, TExeVersion(KIPLAUNCH_PATH));
  const auto& c = box.controls();
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  // The built program's version section, kept through the link.
  const QStringList lines = {c.ProductName->text(),   c.Version->text(), c.Power->text(),
                             c.Configuration->text(), c.User->text(),    c.Network->text()};
  EXPECT_EQ(
      lines.join('|'),
      "Kip Launch Manager|Version 1.8 (Build 1.8.0.8) Beta 1|Mains power|Docked|<none>|detect failed (\\\\srv\\x)");
  // An empty value is heard as empty, not as its caption.
  env.ConfigName.clear();
  box.FormActivate();
  EXPECT_EQ(c.Configuration->text(), "");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(c.Configuration)->text(QAccessible::Name), "");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(c.User)->text(QAccessible::Name), "<none>");
  EXPECT_EQ(probes.services.shares.size(), 2u);
  EXPECT_EQ(c.ProgramIcon->pixmap().size(), QSize(65, 65));
  emit c.HomePage->linkActivated(c.HomePage->text());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], TAboutBox::kHomePage);
  // The keyboard follows the focused link too, and Return does not close the box on the way.
  c.HomePage->setFocus();
  QTest::keyClick(c.HomePage, Qt::Key_Return);
  EXPECT_EQ(opened.size(), 2u);
  EXPECT_TRUE(box.isVisible());
  QTest::mouseClick(c.OKButton, Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
}

TEST(SplashScreen, BorderlessOnTopWithTheProgramPicture) {
  TSplashscreen splash;
  splash.showAndPaint();
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(splash.size(), QSize(330, 249));
  EXPECT_TRUE(splash.windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
  const QImage picture = splashPicture();
  EXPECT_EQ(picture.size(), QSize(320, 240));
  EXPECT_EQ(picture.depth(), 16);
  splash.close();
}

}  // namespace
}  // namespace kip::test
