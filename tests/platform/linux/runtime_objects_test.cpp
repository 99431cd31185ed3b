#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "doubles/child_process.h"
#include "platform/linux/atom_file.h"
#include "platform/linux/instance_lock.h"
#include "platform/linux/runtime_dir.h"
#include "platform/linux/text_file.h"

namespace kip::test {
namespace {

class RuntimeObjectsTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(RuntimeObjectsTest, OnlyOneInstanceHoldsTheLockUntilItLetsGo) {
  auto first = std::make_unique<InstanceLock>(dir.path());
  EXPECT_TRUE(first->acquired());
  InstanceLock second(dir.path());
  EXPECT_FALSE(second.acquired());
  first.reset();
  InstanceLock third(dir.path());
  EXPECT_TRUE(third.acquired());
}

TEST_F(RuntimeObjectsTest, LinksPlantedInPlaceOfTheLockAndTheAtomAreNotFollowed) {
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("KipLauncher.lock").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("Kip Launcher.atom").c_str()), 0);
  const InstanceLock lock(dir.path());
  EXPECT_FALSE(lock.acquired());
  EXPECT_NE(lock.problem().find("KipLauncher.lock"), std::string::npos) << lock.problem();
  AtomFile atom(dir.path(), false);
  EXPECT_FALSE(atom.add());
  writeFile(dir.file("elsewhere"), "");
  EXPECT_FALSE(atom.exists());
}

TEST_F(RuntimeObjectsTest, AtomLivesForTheLogon) {
  AtomFile atom(dir.path(), false);
  EXPECT_FALSE(atom.exists());
  EXPECT_TRUE(atom.add());
  EXPECT_TRUE(AtomFile(dir.path(), false).exists());
}

TEST_F(RuntimeObjectsTest, AtomInAFolderThatOutlivesTheLogonCountsOnlyForTheSameBoot) {
  const std::string bootId = dir.file("boot_id");
  writeFile(bootId, "1111-aaaa\n");
  AtomFile atom(dir.path(), true, bootId);
  ASSERT_TRUE(atom.add());
  EXPECT_TRUE(atom.exists());
  EXPECT_EQ(readFirstLine(dir.file("Kip Launcher.atom")), "1111-aaaa");
  writeFile(bootId, "2222-bbbb\n");  // a reboot
  EXPECT_FALSE(atom.exists());
}

TEST_F(RuntimeObjectsTest, AtomThatCannotBeWrittenReportsFailure) {
  AtomFile atom(dir.file("missing-folder"), false);
  EXPECT_FALSE(atom.add());
  EXPECT_FALSE(atom.exists());
}

// The runtime folder comes from the environment; these tests change it for their own process only.
class RuntimeDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"KIPLAUNCH_RUNTIME_DIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "HOME"}) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : m_saved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  TempDir dir;
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(RuntimeDirTest, OverrideWinsOverTheSessionFolder) {
  setenv("XDG_RUNTIME_DIR", "/nonexistent-session", 1);
  setenv("KIPLAUNCH_RUNTIME_DIR", dir.path().c_str(), 1);
  std::string error;
  const auto runtime = resolveRuntimeDir(error);
  ASSERT_TRUE(runtime) << error;
  EXPECT_EQ(runtime->path, dir.path());
  EXPECT_FALSE(runtime->fallback);
}

TEST_F(RuntimeDirTest, MissingFolderIsNamedInTheError) {
  unsetenv("KIPLAUNCH_RUNTIME_DIR");
  setenv("XDG_RUNTIME_DIR", dir.file("gone").c_str(), 1);
  std::string error;
  EXPECT_FALSE(resolveRuntimeDir(error));
  EXPECT_NE(error.find(dir.file("gone")), std::string::npos);
}

TEST_F(RuntimeDirTest, AFolderOthersMayUseIsRefusedByName) {
  unsetenv("KIPLAUNCH_RUNTIME_DIR");
  // Open to others, or (as root) owned by another user.
  for (const auto& [mode, owner] :
       std::vector<std::pair<mode_t, uid_t>>{{0777, 0}, {0750, 0}, {0711, 0}, {0700, 65534}}) {
    const std::string path = dir.file("run" + std::to_string(mode));
    ASSERT_EQ(mkdir(path.c_str(), mode), 0);
    if (chmod(path.c_str(), mode) != 0 || (owner != 0 && chown(path.c_str(), owner, owner) != 0)) continue;
    setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
    std::string error;
    EXPECT_FALSE(resolveRuntimeDir(error)) << path;
    EXPECT_NE(error.find(path + " (XDG_RUNTIME_DIR) is not a private folder"), std::string::npos) << error;
  }
}

// In the user's own cache, made private on first use; a link there is refused by name.
TEST_F(RuntimeDirTest, FallbackIsAPrivateFolderInTheUsersCache) {
  unsetenv("KIPLAUNCH_RUNTIME_DIR");
  unsetenv("XDG_RUNTIME_DIR");
  unsetenv("XDG_CACHE_HOME");
  setenv("HOME", dir.path().c_str(), 1);
  std::string error;
  const auto runtime = resolveRuntimeDir(error);
  ASSERT_TRUE(runtime) << error;
  EXPECT_EQ(runtime->path, dir.file(".cache/kiplaunch/run"));
  EXPECT_TRUE(runtime->fallback);
  setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
  ASSERT_EQ(mkdir(dir.file("cache").c_str(), 0700) | mkdir(dir.file("cache/kiplaunch").c_str(), 0700), 0);
  ASSERT_EQ(symlink(runtime->path.c_str(), dir.file("cache/kiplaunch/run").c_str()), 0);
  EXPECT_FALSE(resolveRuntimeDir(error));
  EXPECT_NE(error.find(dir.file("cache/kiplaunch/run") + " is not a private folder"), std::string::npos) << error;
  struct stat st {};
  ASSERT_EQ(stat(runtime->path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, getuid());
  EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace kip::test
