#include "ui/options_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "doubles/fake_probes.h"
#include "doubles/scripted_prompts.h"
#include "ui/about_box.h"
#include "ui/help_key_filter.h"
#include "ui/help_opener.h"
#include "ui/splash_picture.h"
#include "ui/splash_screen.h"

namespace kip::test {
namespace {

class OptionsWindowsTest : public ::testing::Test {
 protected:
  OptionsWindowsTest() {
    prefs.StartupDelay = 5;
    prefs.Network = "\\\\srv\\x";
    prefs.Proxy = "px";
    prefs.Port = "81";
  }

  Preferences prefs;
  NetworkResults results{-53, 0};
  FakeProbes probes;
  ScriptedPrompts prompts;
};

// A whole opening with the keyboard and mouse: Escape tests and stays open, edits are stored on "Ok".
TEST_F(OptionsWindowsTest, ModalOpeningTestsOnEscapeAndStoresOnOk) {
  TOptionsForm form({prefs, results, probes.probe, prompts});
  const auto& c = form.controls();
  bool answered = false;
  QTimer::singleShot(0, &form, [&] {
    ASSERT_EQ(QApplication::activeModalWidget(), &form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), c.DelayCount);
    EXPECT_TRUE(c.NetTest->isVisible());
    EXPECT_TRUE(c.ProxyPort->isEnabled());
    QTest::keyClick(c.DelayCount, Qt::Key_Backspace);
    QTest::keyClicks(c.DelayCount, "12");
    QTest::keyClick(c.DelayCount, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(c.RG_netTestItems[0], Qt::LeftButton, {}, QPoint(6, c.RG_netTestItems[0]->height() / 2));
    EXPECT_FALSE(c.NetTest->isVisible());
    QTest::mouseClick(c.CB_proxy, Qt::LeftButton, {}, QPoint(6, c.CB_proxy->height() / 2));
    EXPECT_FALSE(c.ProxyAddr->isEnabled() || c.Label1->isEnabled());
    EXPECT_EQ(c.ProxyAddr->text(), "px");
    QTest::mouseClick(c.CB_global, Qt::LeftButton, {}, QPoint(6, c.CB_global->height() / 2));
    answered = true;
    QTest::mouseClick(c.OkButton, Qt::LeftButton);
  });
  QTimer::singleShot(5000, &form, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) static_cast<QDialog*>(modal)->reject();
  });
  EXPECT_TRUE(form.showModal());
  EXPECT_TRUE(answered);
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "No Network: Rc-53 (\\\\srv\\x)");
  EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(prefs.StartupDelay, 12);
  EXPECT_EQ(prefs.Network, "");
  EXPECT_EQ(results.lastNetwork, 0);
  EXPECT_EQ(prefs.Proxy, "");
  EXPECT_EQ(prefs.Port, "");
  EXPECT_TRUE(prefs.Global);
}

TEST_F(OptionsWindowsTest, CloseBoxAndCancelChangeNothing) {
  TOptionsForm form({prefs, results, probes.probe, prompts});
  const Preferences before = prefs;
  for (bool closeBox : {true, false}) {
    form.FormShow();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.controls().DelayCount->setText("99");
    form.controls().CB_splash->click();
    if (closeBox)
      form.close();
    else
      QTest::mouseClick(form.controls().CancelButton, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(prefs.StartupDelay, before.StartupDelay);
    EXPECT_EQ(prefs.Splash, before.Splash);
    EXPECT_EQ(results.lastNetwork, -53);
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
}

TEST_F(OptionsWindowsTest, AboutBoxFillsItsLinesAndOpensTheHomePage) {
  EnvironmentSnapshot env;
  env.ConfigName = "Docked";
  prefs.AboutNet = true;
  results.lastNetwork = 0;
  probes.services.defaultShareCode = 0;  // no verdict: every activation probes again
  std::vector<QString> opened;
  TAboutBox box({env, prefs, results, probes.probe, probes.system, [&](const QString& a) { opened.push_back(a); }},
                nullptr, TExeVersion("/bin/true"));
  const auto& c = box.controls();
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
  EXPECT_EQ(c.Version->text(), "Version  (Build ) ");
  EXPECT_EQ(c.Power->text(), "Mains power");
  EXPECT_EQ(c.Configuration->text(), "Docked");
  EXPECT_EQ(c.User->text(), "<none>");
  EXPECT_EQ(c.Network->text(), "detect failed (\\\\srv\\x)");
  box.FormActivate();
  EXPECT_EQ(probes.services.shares.size(), 2u);
  EXPECT_EQ(c.ProgramIcon->pixmap().size(), QSize(65, 65));
  emit c.HomePage->linkActivated(c.HomePage->text());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], TAboutBox::kHomePage);
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
