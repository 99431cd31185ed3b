#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "net/tinyproxy_process.h"
#include "platform/linux/linux_network_services.h"

namespace kip::test {
namespace {

// A real Samba smbd bound to 127.0.0.1 only, NetBIOS off, on a free port, with a guest share "pub" of a
// temporary folder and a share "locked" that refuses guests. It runs in the foreground and is killed at
// the end.
class SambaServer {
 public:
  SambaServer() {
    if (access("/usr/sbin/smbd", X_OK) != 0) {
      m_problem = "Samba is not installed (/usr/sbin/smbd)";
      return;
    }
    if (geteuid() != 0) {
      m_problem = "smbd needs root to run";
      return;
    }
    if (!getpwnam("nobody")) {
      m_problem = "there is no user \"nobody\" for the guest account";
      return;
    }
    const std::string state = m_dir.file("state");
    mkdir(state.c_str(), 0755);
    mkdir(shareFolder().c_str(), 0755);
    chmod(m_dir.path().c_str(), 0755);  // the guest account must reach the share
    writeFile(shareFolder() + "/file.txt", "hello\n");
    mkdir((shareFolder() + "/sub").c_str(), 0755);
    m_port = freeLoopbackPort();
    const std::string config = m_dir.file("smb.conf");
    writeFile(config,
              "[global]\n"
              "  interfaces = 127.0.0.1\n"
              "  bind interfaces only = yes\n"
              "  disable netbios = yes\n"
              "  smb ports = " +
                  std::to_string(m_port) +
                  "\n"
                  "  server role = standalone server\n"
                  "  map to guest = Bad User\n"
                  "  guest account = nobody\n"
                  "  restrict anonymous = 0\n"
                  "  server min protocol = SMB2_02\n"
                  "  lock directory = " +
                  state +
                  "\n"
                  "  state directory = " +
                  state +
                  "\n"
                  "  cache directory = " +
                  state +
                  "\n"
                  "  private dir = " +
                  state +
                  "\n"
                  "  pid directory = " +
                  state +
                  "\n"
                  "  ncalrpc dir = " +
                  state +
                  "/ncalrpc\n"
                  "  log file = " +
                  state +
                  "/log.%m\n"
                  "  load printers = no\n"
                  "  printing = bsd\n"
                  "  printcap name = /dev/null\n"
                  "  disable spoolss = yes\n"
                  "[pub]\n"
                  "  path = " +
                  shareFolder() +
                  "\n"
                  "  guest ok = yes\n"
                  "  read only = yes\n"
                  "[locked]\n"
                  "  path = " +
                  shareFolder() +
                  "\n"
                  "  guest ok = no\n"
                  "  valid users = root\n");
    // smbd in the foreground ends when its standard input reaches its end, and then signals its whole
    // process group: give it /dev/null and a session of its own.
    m_child = std::make_unique<ChildProcess>(
        "/bin/sh", std::vector<std::string>{"-c",
                                            "exec /usr/bin/setsid /usr/sbin/smbd --foreground "
                                            "--no-process-group -s \"$0\" </dev/null",
                                            config});
    if (!m_child->started() || !waitForListener(m_port, std::chrono::seconds(15))) {
      m_problem = "smbd did not start listening on 127.0.0.1:" + std::to_string(m_port);
      if (m_child->started()) m_problem += ": " + m_child->wait(std::chrono::milliseconds(100)).out;
      m_child.reset();
    }
  }

  ~SambaServer() {
    if (!m_child) return;
    m_child->signal(SIGTERM);
    m_child->wait(std::chrono::seconds(5));
  }
  SambaServer(const SambaServer&) = delete;
  SambaServer& operator=(const SambaServer&) = delete;

  [[nodiscard]] const std::string& problem() const { return m_problem; }
  [[nodiscard]] std::uint16_t port() const { return m_port; }
  [[nodiscard]] std::string shareFolder() const { return m_dir.file("share"); }

 private:
  TempDir m_dir;
  std::uint16_t m_port = 0;
  std::unique_ptr<ChildProcess> m_child;
  std::string m_problem;
};

// One server for the whole suite: starting smbd takes a while.
class ShareProbeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_server = new SambaServer(); }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  void SetUp() override {
    if (!s_server->problem().empty()) GTEST_SKIP() << s_server->problem();
    SmbSettings settings;
    settings.port = s_server->port();
    settings.timeout = std::chrono::milliseconds(3000);
    services = std::make_unique<LinuxNetworkServices>(resolver, DosDevices("/nonexistent"), settings);
  }
  std::int32_t connect(std::string_view unc) { return services->connectShare(unc); }

  static SambaServer* s_server;
  FakeNameResolver resolver;
  std::unique_ptr<LinuxNetworkServices> services;
};

SambaServer* ShareProbeTest::s_server = nullptr;

TEST_F(ShareProbeTest, GuestShareOpensAnonymously) {
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub"), 1);
  EXPECT_EQ(connect("\\\\127.0.0.1\\PUB\\"), 1);
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub\\sub"), 1);
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub\\file.txt"), 1);
}

TEST_F(ShareProbeTest, ServerNameGoesThroughTheResolver) {
  resolver.addresses["fileserver"] = "127.0.0.1";
  EXPECT_EQ(connect("\\\\fileserver\\pub"), 1);
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"fileserver"});
  EXPECT_EQ(connect("\\\\unknown-server\\pub"), -53);
}

TEST_F(ShareProbeTest, MissingShareAndPaths) {
  EXPECT_EQ(connect("\\\\127.0.0.1\\nope"), -67);
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub\\missing.txt"), -2);
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub\\missing\\deeper"), -3);
  EXPECT_EQ(connect("\\\\127.0.0.1\\pub\\file.txt\\below"), -3);
}

TEST_F(ShareProbeTest, ShareThatRefusesGuestsIsAccessDenied) { EXPECT_EQ(connect("\\\\127.0.0.1\\locked"), -5); }

TEST_F(ShareProbeTest, NoServerListening) { EXPECT_EQ(connect("\\\\127.0.0.2\\pub"), -53); }

TEST_F(ShareProbeTest, MalformedNamesAskNobody) {
  EXPECT_EQ(connect("\\\\"), -53);
  EXPECT_EQ(connect("\\single"), -53);
  EXPECT_EQ(connect("\\\\bad host!\\pub"), -53);
  EXPECT_EQ(connect("\\\\127.0.0.1"), -67);
  EXPECT_EQ(connect("\\\\127.0.0.1\\"), -67);
  EXPECT_TRUE(resolver.asked.empty());
}

TEST(UncNames, Parts) {
  const auto full = parseUnc("\\\\srv\\share\\a\\b\\");
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->server, "srv");
  EXPECT_EQ(full->share, "share");
  EXPECT_EQ(full->path, "a/b");
  EXPECT_EQ(parseUnc("\\\\srv")->share, "");
  EXPECT_FALSE(parseUnc("\\srv\\x").has_value());
  EXPECT_FALSE(parseUnc("\\\\\\x").has_value());
}

}  // namespace
}  // namespace kip::test
