#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>

namespace kip::test {
namespace {

// The program's own icon is compiled into kipui (a static library, whose resources a linker may drop) and
// must draw, which takes the Qt SVG plugins at run time.
TEST(AppIconTest, TheBuiltInIconIsThereAndDraws) {
  ASSERT_TRUE(QFile::exists(":/icons/kiplaunch.svg"));
  const QImage image = QIcon(":/icons/kiplaunch.svg").pixmap(32, 32).toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(qAlpha(image.pixel(16, 16)), 0);  // the tile is opaque in the middle
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);    // and its rounded corner transparent
}

}  // namespace
}  // namespace kip::test
