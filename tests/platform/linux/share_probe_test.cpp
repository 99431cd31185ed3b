#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "doubles/child_process.h"
#include "doubles/fake_probes.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/samba_server.h"

namespace kip::test {
namespace {

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

TEST(SilentServer, AServerThatNeverAnswersIsUnreachable) {
  // A loopback socket that listens but never accepts: the connection is made, no answer ever comes.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(listener, 4) | getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  FakeNameResolver resolver;
  LinuxNetworkServices services(resolver, DosDevices("/nonexistent"),
                                {ntohs(address.sin_port), std::chrono::seconds(1)});
  EXPECT_EQ(services.connectShare("\\\\127.0.0.1\\pub"), -53);
  close(listener);
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
