#include <fcntl.h>
#include <grp.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <pwd.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "model/registry_layout.h"
#include "net/loopback_http_server.h"
#include "platform/linux/samba_server.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/registry_values.h"

namespace kip::test {
namespace {

// kipctl test and kipctl probe in temporary hives, drive links and power-supply folders.
class KipctlTestProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_dir.path().empty());
    mkdir(m_dir.file("dosdevices").c_str(), 0755);
    mkdir(m_dir.file("drive").c_str(), 0755);
    writeFile(m_dir.file("drive/present.txt"), "x");
    ASSERT_EQ(symlink(m_dir.file("drive").c_str(), m_dir.file("dosdevices/c:").c_str()), 0);
    mkdir(m_dir.file("power").c_str(), 0755);
  }

  EnvChanges env() const {
    return {{"KIPLAUNCH_USER_HIVE", m_dir.file("user.db")},
            {"KIPLAUNCH_MACHINE_HIVE", m_dir.file("machine.db")},
            {"KIPLAUNCH_DOSDEVICES", m_dir.file("dosdevices")},
            {"KIPLAUNCH_POWER_SUPPLY_DIR", m_dir.file("power")},
            {"http_proxy", std::nullopt},
            {"HTTP_PROXY", std::nullopt}};
  }

  ChildResult kipctl(std::vector<std::string> args) {
    return runProgram(KIPCTL_PATH, args, env(), {}, std::chrono::seconds(60));
  }

  // Writes a definition's values into a hive, as the program would have stored it.
  void define(Hive hive, const std::string& name, const std::map<std::string, std::int32_t>& numbers,
              const std::map<std::string, std::string>& texts = {}) {
    SqliteRegistry registry(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    ASSERT_EQ(registry.createKey(hive, std::string(kStartListKey) + "\\" + name, key), 0);
    ASSERT_EQ(writeText(*key, "Module", "/bin/true"), 0);
    for (const auto& [value, number] : numbers) ASSERT_EQ(writeDword(*key, value, number), 0);
    for (const auto& [value, text] : texts) ASSERT_EQ(writeText(*key, value, text), 0);
  }

  std::optional<std::string> storedText(Hive hive, const std::string& name, std::string_view value) {
    SqliteRegistry registry(m_dir.file("user.db"), m_dir.file("machine.db"));
    std::unique_ptr<RegKey> key;
    if (registry.openKey(hive, std::string(kStartListKey) + "\\" + name, KeyAccess::Read, key) != 0)
      return std::nullopt;
    return readText(*key, value);
  }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
      const auto end = text.find('\n', start);
      out.push_back(text.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return out;
  }

  static std::string currentUser() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? entry->pw_name : "";
  }

  TempDir m_dir;
};

TEST_F(KipctlTestProbeTest, TestPrintsResultAndTestResult) {
  define(Hive::CurrentUser, "Always", {});
  const auto run = kipctl({"test", "Always"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"OK", "0"}));
}

TEST_F(KipctlTestProbeTest, TestFindsTheNameWithoutRegardToCase) {
  define(Hive::CurrentUser, "Mail Client", {});
  EXPECT_EQ(kipctl({"test", "mail CLIENT"}).exitCode, 0);
}

TEST_F(KipctlTestProbeTest, PendingDelayIsNoPass) {
  define(Hive::CurrentUser, "Later", {{"Delay", 30}});
  const auto run = kipctl({"test", "Later"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"DELAY (30s)", "64"}));
}

TEST_F(KipctlTestProbeTest, FailuresAreSpelledOutAndNothingIsWritten) {
  define(Hive::CurrentUser, "Picky", {{"Apm", 2}, {"NetTest", 1}, {"Delay", 5}},
         {{"User", "someone-else"}, {"NetResource", "q:\\nowhere"}});
  const auto run = kipctl({"test", "Picky"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(lines(run.out),
            (std::vector<std::string>{"SKIP (Failed: Power; User(" + currentUser() + "); Res <Rc-15 'q:\\nowhere'>)",
                                      std::to_string(2 + 32 + 512)}));
  EXPECT_FALSE(storedText(Hive::CurrentUser, "Picky", "Result").has_value());
}

TEST_F(KipctlTestProbeTest, ResourceByDriveLetterAndTheUsersOwnGroup) {
  const group* primary = getgrgid(getegid());
  ASSERT_NE(primary, nullptr);
  define(Hive::CurrentUser, "Drive", {{"NetTest", 1}},
         {{"NetResource", "C:\\present.txt"}, {"Group", std::string(" ") + primary->gr_name + " "}});
  const auto run = kipctl({"test", "Drive"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"OK", "0"}));
}

TEST_F(KipctlTestProbeTest, PowerComesFromTheSupplyFolder) {
  mkdir(m_dir.file("power/AC").c_str(), 0755);
  writeFile(m_dir.file("power/AC/type"), "Mains\n");
  writeFile(m_dir.file("power/AC/online"), "1\n");
  define(Hive::CurrentUser, "Mains", {{"Apm", 1}});
  EXPECT_EQ(kipctl({"test", "Mains"}).exitCode, 0);
}

TEST_F(KipctlTestProbeTest, ChangeSinceThePreviousStart) {
  SqliteRegistry registry(m_dir.file("user.db"), m_dir.file("machine.db"));
  std::unique_ptr<RegKey> key;
  ASSERT_EQ(registry.createKey(Hive::LocalMachine, kPreviousStartKey, key), 0);
  ASSERT_EQ(writeText(*key, "PrevUser", currentUser()), 0);
  ASSERT_EQ(writeText(*key, "PrevConfig", ""), 0);
  ASSERT_EQ(writeDword(*key, "PrevPower", 0), 0);
  key.reset();
  define(Hive::CurrentUser, "NewUser", {{"Changes", 4}});
  const auto same = kipctl({"test", "NewUser"});
  EXPECT_EQ(lines(same.out), (std::vector<std::string>{"SKIP (Failed: NoChange)", "128"}));
  ASSERT_EQ(registry.createKey(Hive::LocalMachine, kPreviousStartKey, key), 0);
  ASSERT_EQ(writeText(*key, "PrevUser", "somebody"), 0);
  key.reset();
  EXPECT_EQ(kipctl({"test", "NewUser"}).exitCode, 0);
}

TEST_F(KipctlTestProbeTest, GlobalTestsTheMachineWideList) {
  define(Hive::LocalMachine, "Shared", {});
  EXPECT_EQ(kipctl({"test", "Shared"}).exitCode, 2);
  const auto run = kipctl({"test", "Shared", "--global"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"OK", "0"}));
}

TEST_F(KipctlTestProbeTest, UnknownDefinitionAndBadArguments) {
  const auto missing = kipctl({"test", "Nothing"});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("Nothing"), std::string::npos);
  EXPECT_EQ(kipctl({"test"}).exitCode, 2);
  EXPECT_EQ(kipctl({"test", "a", "b"}).exitCode, 2);
  EXPECT_EQ(kipctl({"test", "a", "--local"}).exitCode, 2);
}

TEST_F(KipctlTestProbeTest, ProbeOfDrivePaths) {
  const auto present = kipctl({"probe", "c:\\present.txt"});
  EXPECT_EQ(present.exitCode, 0);
  EXPECT_EQ(lines(present.out), (std::vector<std::string>{"1", "Network Present (c:\\present.txt)"}));
  const auto missing = kipctl({"probe", "C:\\absent.txt"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(lines(missing.out), (std::vector<std::string>{"-2", "No Network: Rc-2 (C:\\absent.txt)"}));
  EXPECT_EQ(lines(kipctl({"probe", "q:\\"}).out), (std::vector<std::string>{"-15", "No Network: Rc-15 (q:\\)"}));
}

TEST_F(KipctlTestProbeTest, ProbeOfAnUnreadablePathAsAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "switching to the user nobody needs root";
  const std::string locked = m_dir.file("locked");
  mkdir(locked.c_str(), 0700);
  writeFile(locked + "/inside", "x");
  std::string why;
  const auto program = copyForUser(KIPCTL_PATH, m_dir.path(), 65534, why);
  if (!program) GTEST_SKIP() << why;
  ChildProcess child(*program, {"probe", locked + "/inside"}, env(), {}, 65534);
  const auto run = child.wait(std::chrono::seconds(30));
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(lines(run.out).at(0), "1");
}

TEST_F(KipctlTestProbeTest, ProbeOfHttpThroughTheGivenProxy) {
  LoopbackHttpServer proxy(407);
  const auto run =
      kipctl({"probe", "--proxy", "127.0.0.1", "--port", std::to_string(proxy.port()), "HTTP:\\\\web.test\\page"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"-407", "No Network: Rc-407 (HTTP:\\\\web.test\\page)"}));
  ASSERT_EQ(proxy.requestLines().size(), 1u);
  EXPECT_EQ(proxy.requestLines()[0], "HEAD http://web.test/page HTTP/1.1");
}

TEST_F(KipctlTestProbeTest, ProbeOfHttpDirect) {
  LoopbackHttpServer server(200);
  const auto run = kipctl({"probe", server.url("/")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(lines(run.out).at(0), "1");
  RefusingPort refusing;
  EXPECT_EQ(lines(kipctl({"probe", "http://127.0.0.1:" + std::to_string(refusing.port()) + "/"}).out).at(0), "-404");
}

TEST_F(KipctlTestProbeTest, ProbeBadInput) {
  EXPECT_EQ(lines(kipctl({"probe", std::string(260, 'a')}).out).at(0), "-87");
  EXPECT_EQ(lines(kipctl({"probe", "   "}).out), (std::vector<std::string>{"-1", "No Network: Rc-1 (   )"}));
  EXPECT_EQ(lines(kipctl({"probe", "https://127.0.0.1/"}).out).at(0), "-1");
  EXPECT_EQ(lines(kipctl({"probe", "\\\\bad host!\\share"}).out).at(0), "-53");
  EXPECT_EQ(lines(kipctl({"probe", "--", "--odd"}).out).at(0), "-1");
  EXPECT_EQ(kipctl({"probe"}).exitCode, 1);
  EXPECT_EQ(kipctl({"probe", "a", "b"}).exitCode, 1);
  EXPECT_EQ(kipctl({"probe", "--proxy"}).exitCode, 1);
  EXPECT_EQ(kipctl({"probe", "--bogus", "x"}).exitCode, 1);
}

TEST_F(KipctlTestProbeTest, ProbeOfASambaShare) {
  SambaServer server;
  if (!server.problem().empty()) GTEST_SKIP() << server.problem();
  EnvChanges changes = env();
  changes["KIPLAUNCH_SMB_PORT"] = std::to_string(server.port());
  const auto open = runProgram(KIPCTL_PATH, {"probe", "\\\\127.0.0.1\\pub"}, changes);
  EXPECT_EQ(open.exitCode, 0) << open.err;
  EXPECT_EQ(lines(open.out), (std::vector<std::string>{"1", "Network Present (\\\\127.0.0.1\\pub)"}));
  const auto missing = runProgram(KIPCTL_PATH, {"probe", "\\\\localhost\\nope"}, changes);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(lines(missing.out), (std::vector<std::string>{"-67", "No Network: Rc-67 (\\\\localhost\\nope)"}));
  // The resource condition reports the same code.
  define(Hive::CurrentUser, "Share", {{"NetTest", 1}}, {{"NetResource", "\\\\127.0.0.1\\nope"}});
  const auto test = runProgram(KIPCTL_PATH, {"test", "Share"}, changes);
  EXPECT_EQ(lines(test.out), (std::vector<std::string>{"SKIP (Failed: Res <Rc-67 '\\\\127.0.0.1\\nope'>)", "512"}));
}

// The network logon and dial-up tests in network namespaces made for the test.
class KipctlNamespaceTest : public KipctlTestProbeTest {
 protected:
  void SetUp() override {
    KipctlTestProbeTest::SetUp();
    if (access("/usr/bin/unshare", X_OK) != 0 || access("/usr/sbin/ip", X_OK) != 0)
      GTEST_SKIP() << "unshare or ip is not installed";
    const auto probe = runProgram("/usr/bin/unshare", {"--net", "/bin/true"});
    if (probe.exitCode != 0) GTEST_SKIP() << "cannot create a network namespace here: " << probe.err;
  }

  // Runs setup in a fresh network namespace (and mount namespace), then kipctl probe on text.
  ChildResult inNamespace(const std::string& setup, const std::string& text) {
    const std::string script = "ip link set lo up && " + setup + " && exec \"$0\" probe \"$1\"";
    return runProgram("/usr/bin/unshare", {"--net", "--mount", "/bin/sh", "-c", script, KIPCTL_PATH, text}, env(), {},
                      std::chrono::seconds(60));
  }

  // kipctl probe DUN in a fresh network namespace whose tun device kiptun is held open by the probe itself
  // (the descriptor is inherited), as a VPN program holds its device.
  ChildResult inNamespaceHoldingTun() {
    const std::string out = m_dir.file("tun.out"), err = m_dir.file("tun.err");
    const std::string script = "ip link set kiptun up && exec \"$0\" probe DUN >\"$1\" 2>\"$2\"";
    const pid_t child = fork();
    if (child == 0) {
      if (unshare(CLONE_NEWNET) != 0) _exit(125);
      const int tun = open("/dev/net/tun", O_RDWR);
      ifreq request{};
      request.ifr_flags = IFF_TUN | IFF_NO_PI;
      std::strncpy(request.ifr_name, "kiptun", IFNAMSIZ - 1);
      if (tun < 0 || ioctl(tun, TUNSETIFF, &request) != 0) _exit(125);
      execl("/bin/sh", "sh", "-c", script.c_str(), KIPCTL_PATH, out.c_str(), err.c_str(), nullptr);
      _exit(127);
    }
    ChildResult result;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
  }
};

TEST_F(KipctlNamespaceTest, NoInterfaceButLoopbackIsNoNetwork) {
  const auto run = inNamespace("true", "");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"-1222", "No Network: Rc-1222 (MS Logon)"}));
}

TEST_F(KipctlNamespaceTest, AddressAndDefaultRouteIsANetwork) {
  const auto run = inNamespace(
      "ip link add kip0 type veth peer name kip1 && ip addr add 10.77.0.2/24 dev kip0 && ip link set kip1 up && "
      "ip link set kip0 up && ip route add default via 10.77.0.1 dev kip0",
      "");
  if (run.exitCode == 127 || run.out.empty()) GTEST_SKIP() << "veth links are not available: " << run.err;
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"1", "Network Present (MS Logon)"}));
}

TEST_F(KipctlNamespaceTest, AddressWithoutDefaultRouteIsNoNetwork) {
  const auto run = inNamespace(
      "ip link add kip0 type veth peer name kip1 && ip addr add 10.77.0.2/24 dev kip0 && ip link set kip1 up && "
      "ip link set kip0 up",
      "");
  if (run.out.empty()) GTEST_SKIP() << "veth links are not available: " << run.err;
  EXPECT_EQ(lines(run.out).at(0), "-1222");
}

TEST_F(KipctlNamespaceTest, UnreadableRoutesGiveNoVerdict) {
  const auto run = inNamespace("mount -t tmpfs none /proc/$$/net", "");
  if (run.out.empty()) GTEST_SKIP() << "cannot hide the route tables: " << run.err;
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(lines(run.out), (std::vector<std::string>{"0", "Network detect failed (MS Logon)"}));
}

TEST_F(KipctlNamespaceTest, PointToPointLinkIsDialUp) {
  const auto down = inNamespace("true", "DUN");
  EXPECT_EQ(lines(down.out), (std::vector<std::string>{"-1", "No Network: Rc-1 (DUN)"}));
  // A tun device that no program holds has no carrier.
  const auto unheld = inNamespace("ip tuntap add kiptun mode tun && ip link set kiptun up", "DUN");
  if (unheld.out.empty()) GTEST_SKIP() << "tun devices are not available: " << unheld.err;
  EXPECT_EQ(lines(unheld.out).at(0), "-1");
  const auto held = inNamespaceHoldingTun();
  EXPECT_EQ(held.exitCode, 0) << held.err;
  EXPECT_EQ(lines(held.out), (std::vector<std::string>{"1", "Network Present (DUN)"}));
  // Lower case is a host name, pinged and not found.
  EXPECT_EQ(lines(inNamespace("true", "dun").out).at(0), "-1");
}

// Links and routes that look present but carry nothing.
TEST_F(KipctlNamespaceTest, NoCarrierOrABlackholeRouteIsNoNetwork) {
  const std::string veth = "ip link add kip0 type veth peer name kip1 && ip addr add 10.77.0.2/24 dev kip0 && ";
  const std::vector<std::pair<const char*, std::string>> cases{
      {"cable pulled", veth + "ip link set kip0 up && ip route add default via 10.77.0.1 dev kip0"},
      {"blackhole", veth + "ip link set kip1 up && ip link set kip0 up && ip route add blackhole default"},
      {"blackhole v6", veth + "ip link set kip1 up && ip link set kip0 up && ip -6 route add blackhole default"},
  };
  for (const auto& [what, setup] : cases) {
    const auto run = inNamespace(setup, "");
    if (run.out.empty()) GTEST_SKIP() << "veth links are not available: " << run.err;
    EXPECT_EQ(lines(run.out).at(0), "-1222") << what;
  }
}

}  // namespace
}  // namespace kip::test
