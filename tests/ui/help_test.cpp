#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>
#include <vector>

#include "ui/help_key_filter.h"
#include "ui/help_opener.h"
#include "ui/logic/help_topics.h"

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
  auto* group = new QWidget(&window);
  group->setProperty(kHelpTopicProperty, 39);
  auto* own = new QCheckBox(QStringLiteral("own"), group);
  own->setProperty(kHelpTopicProperty, 40);
  auto* inherits = new QCheckBox(QStringLiteral("inherits"), group);
  auto* plain = new QLineEdit(&window);
  auto* layout = new QVBoxLayout(&window);
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

}  // namespace
}  // namespace kip::test
