#include <gtest/gtest.h>

#include "ui/logic/exe_version.h"

namespace kip::test {
namespace {

// The built program carries its version information, kept through the link.
TEST(KiplaunchVersion, ProgramFileCarriesItsVersionBlock) {
  if (std::string(KIPLAUNCH_PATH).empty()) GTEST_SKIP() << "kiplaunch is not built";
  const TExeVersion version(KIPLAUNCH_PATH);
  EXPECT_EQ(version.GetProductName(), "Kip Launch Manager");
  EXPECT_EQ(version.GetProductVersion(), "1.8");
  EXPECT_EQ(version.GetFileVersion(), "1.8.0.8");
  EXPECT_EQ(version.GetComments(), "Beta 1");
  EXPECT_FALSE(version.GetLegalCopyright().empty());
  EXPECT_FALSE(version.GetCompanyName().empty());
}

}  // namespace
}  // namespace kip::test
