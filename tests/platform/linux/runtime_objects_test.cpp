#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
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

// Without a session folder the runtime folder lies in the user's own cache, made private on first use; one
// that is not private, a link, or inside a folder others may write is refused by name.
TEST_F(RuntimeDirTest, FallbackIsAPrivateFolderInTheUsersCache) {
  unsetenv("KIPLAUNCH_RUNTIME_DIR");
  unsetenv("XDG_RUNTIME_DIR");
  setenv("HOME", dir.file("home").c_str(), 1);
  ASSERT_EQ(mkdir(dir.file("home").c_str(), 0755), 0);
  const uid_t other = getuid() == 0 ? 65534 : getuid();
  struct Case {
    const char* label;
    std::optional<std::string> cacheHome;  // XDG_CACHE_HOME
    std::string expected;                  // the folder, below dir
    std::function<void(const std::string&)> prepare;
    bool refused;
  };
  const std::vector<Case> cases{
      {"default", std::nullopt, "home/.cache/kiplaunch/run", {}, false},
      {"cache home", dir.file("cache"), "cache/kiplaunch/run", {}, false},
      {"relative cache home ignored", std::string("rel"), "home/.cache/kiplaunch/run", {}, false},
      {"open to others", dir.file("c1"), "c1/kiplaunch/run",
       [](const std::string& path) {
         std::filesystem::create_directories(path);
         chmod(path.c_str(), 0755);
       },
       true},
      {"a link", dir.file("c2"), "c2/kiplaunch/run",
       [this](const std::string& path) {
         std::filesystem::create_directories(std::filesystem::path(path).parent_path());
         mkdir(dir.file("elsewhere").c_str(), 0700);
         symlink(dir.file("elsewhere").c_str(), path.c_str());
       },
       true},
      {"another user's", dir.file("c3"), "c3/kiplaunch/run",
       [other](const std::string& path) {
         std::filesystem::create_directories(path);
         chmod(path.c_str(), 0700);
         if (chown(path.c_str(), other, other) != 0) chmod(path.c_str(), 0770);
       },
       true},
      {"in a folder others may write", dir.file("c4"), "c4/kiplaunch/run",
       [](const std::string& path) {
         const auto parent = std::filesystem::path(path).parent_path();
         std::filesystem::create_directories(path);
         chmod(parent.c_str(), 0777);
       },
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.cacheHome)
      setenv("XDG_CACHE_HOME", c.cacheHome->c_str(), 1);
    else
      unsetenv("XDG_CACHE_HOME");
    const std::string path = dir.file(c.expected);
    if (c.prepare) c.prepare(path);
    std::string error;
    const auto runtime = resolveRuntimeDir(error);
    if (c.refused) {
      EXPECT_FALSE(runtime);
      EXPECT_NE(error.find(c.label == std::string("in a folder others may write")
                               ? std::filesystem::path(path).parent_path().string()
                               : path),
                std::string::npos)
          << error;
      continue;
    }
    ASSERT_TRUE(runtime) << error;
    EXPECT_EQ(runtime->path, path);
    EXPECT_TRUE(runtime->fallback);
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, getuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
}

}  // namespace
}  // namespace kip::test
