#include "program/window_module.h"

#include <gtest/gtest.h>

#include <string>

namespace kip {
namespace {

// This test program is linked as kiplaunch is, so the module loads here exactly when every symbol it takes
// from the program is there.
TEST(WindowModuleTest, LoadsIntoTheProgramWithEveryEntryPoint) {
  WindowModule module;
  std::string error;
  ASSERT_TRUE(module.loadFrom(KIP_WINDOW_MODULE_BUILD_DIR, error)) << error;
  EXPECT_NE(module.run, nullptr);
  EXPECT_NE(module.askToRaise, nullptr);
  EXPECT_NE(module.prompts, nullptr);
}

TEST(WindowModuleTest, AFolderWithoutTheModuleIsReportedByTheLoader) {
  WindowModule module;
  std::string error;
  EXPECT_FALSE(module.loadFrom("/nonexistent-kiplaunch-folder", error));
  EXPECT_NE(error.find(kWindowModuleFile), std::string::npos) << error;
  EXPECT_EQ(module.run, nullptr);
}

}  // namespace
}  // namespace kip
