#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "platform/linux/linux_network_services.h"

namespace kip::test {
namespace {

// A dosdevices folder whose c: leads to a temporary drive folder, and d: to nowhere.
class PathProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.path().empty());
    mkdir(drive().c_str(), 0755);
    mkdir((drive() + "/Folder").c_str(), 0755);
    writeFile(drive() + "/Folder/file.txt", "x");
    mkdir(devices().c_str(), 0755);
    ASSERT_EQ(symlink(drive().c_str(), (devices() + "/c:").c_str()), 0);
    ASSERT_EQ(symlink((m_dir.path() + "/gone").c_str(), (devices() + "/d:").c_str()), 0);
  }

  std::string drive() const { return m_dir.file("drive_c"); }
  std::string devices() const { return m_dir.file("dosdevices"); }
  std::int32_t presence(std::string_view text) { return services.pathPresence(text); }

  TempDir m_dir;
  FakeNameResolver resolver;
  LinuxNetworkServices services{resolver, DosDevices(m_dir.file("dosdevices"))};
};

TEST_F(PathProbeTest, DriveLetterPathsThroughTheirLinks) {
  EXPECT_EQ(presence("c:\\"), 1);
  EXPECT_EQ(presence("C:"), 1);
  EXPECT_EQ(presence("C:\\Folder"), 1);
  EXPECT_EQ(presence("c:\\Folder\\file.txt"), 1);
  EXPECT_EQ(presence("c:/Folder/file.txt"), 1);
  EXPECT_EQ(presence("c:\\Folder\\missing.txt"), -2);
  EXPECT_EQ(presence("c:\\NoFolder\\file.txt"), -3);
  EXPECT_EQ(presence("c:\\Folder\\file.txt\\below"), -3);
}

TEST_F(PathProbeTest, UnmappedLetterIsAnInvalidDrive) {
  EXPECT_EQ(presence("q:\\"), -15);
  EXPECT_EQ(presence("1:\\"), -15);
  EXPECT_EQ(presence("::"), -15);
}

TEST_F(PathProbeTest, DriveWhoseLinkLeadsNowhereHasNoPath) { EXPECT_EQ(presence("d:\\x"), -3); }

TEST_F(PathProbeTest, UnlinkedZIsTheRootFolder) {
  EXPECT_EQ(presence("z:\\"), 1);
  EXPECT_EQ(presence("Z:\\tmp"), 1);
  EXPECT_EQ(presence("z:\\no-such-folder-here\\x"), -3);
  // A link of its own wins.
  ASSERT_EQ(symlink(drive().c_str(), (devices() + "/z:").c_str()), 0);
  EXPECT_EQ(presence("z:\\Folder\\file.txt"), 1);
  EXPECT_EQ(presence("z:\\tmp"), -2);
}

TEST_F(PathProbeTest, AbsoluteLinuxPaths) {
  EXPECT_EQ(presence(drive() + "/Folder/file.txt"), 1);
  EXPECT_EQ(presence(drive() + "/Folder/none"), -2);
  EXPECT_EQ(presence(drive() + "/none/none"), -3);
}

TEST_F(PathProbeTest, UnreadableObjectsArePresent) {
  const std::string locked = drive() + "/locked";
  mkdir(locked.c_str(), 0755);
  writeFile(locked + "/secret", "s");
  chmod((locked + "/secret").c_str(), 0);
  chmod(locked.c_str(), 0);
  EXPECT_EQ(presence("c:\\locked"), 1);
  // Without the right to look inside (always granted to root) the answer is "access denied": present.
  EXPECT_EQ(presence("c:\\locked\\secret"), 1);
  EXPECT_EQ(linuxPathPresence(locked + "/secret"), 1);
}

TEST(DosDevices, MapsBackslashesAndKeepsTheRest) {
  const DosDevices drives("/dev/null/nothing");
  EXPECT_EQ(drives.map("z:\\a\\b"), "/a/b");
  EXPECT_EQ(drives.map("z:"), "/");
  EXPECT_EQ(drives.map("z:rel"), "/rel");
  EXPECT_FALSE(drives.map("c:\\a").has_value());
  EXPECT_FALSE(drives.map("c").has_value());
}

TEST(DosDevices, FolderFromTheEnvironment) {
  // fromEnvironment reads the variables of the moment; restore them afterwards.
  const char* saved = std::getenv("KIPLAUNCH_DOSDEVICES");
  const std::string keep = saved ? saved : "";
  setenv("KIPLAUNCH_DOSDEVICES", "/some/where", 1);
  EXPECT_EQ(DosDevices::fromEnvironment().folder(), "/some/where");
  unsetenv("KIPLAUNCH_DOSDEVICES");
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string keepXdg = xdg ? xdg : "";
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(DosDevices::fromEnvironment().folder(), "/cfg/kiplaunch/dosdevices");
  if (xdg)
    setenv("XDG_CONFIG_HOME", keepXdg.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  if (saved) setenv("KIPLAUNCH_DOSDEVICES", keep.c_str(), 1);
}

}  // namespace
}  // namespace kip::test
