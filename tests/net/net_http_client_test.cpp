#include "net/http_client.h"

#include <gtest/gtest.h>

#include "conditions/asm_ping.h"
#include "doubles/fake_probes.h"
#include "loopback_http_server.h"
#include "tinyproxy_process.h"

namespace kip::test {
namespace {

class HttpClientTest : public ::testing::Test {
 protected:
  HttpOutcome head(const std::string& url, const std::string& proxy = {}, std::uint16_t port = 80) {
    HttpRequest request;
    request.url = url;
    request.proxyHost = proxy;
    request.proxyPort = port;
    request.connectTimeout = std::chrono::milliseconds(2000);
    request.totalTimeout = std::chrono::milliseconds(3000);
    return client.head(request);
  }

  FakeNameResolver resolver;
  HttpClient client{resolver};
};

class StatusTest : public HttpClientTest, public ::testing::WithParamInterface<int> {};

TEST_P(StatusTest, StatusDecidesTheCode) {
  LoopbackHttpServer server(GetParam());
  ASSERT_TRUE(server.running());
  const auto outcome = head(server.url("/page"));
  EXPECT_EQ(outcome.status, GetParam());
  EXPECT_EQ(httpProbeCode(outcome), GetParam() < 400 ? 1 : -GetParam());
  ASSERT_EQ(server.requestLines().size(), 1u);
  EXPECT_EQ(server.requestLines()[0], "HEAD /page HTTP/1.1");
}

INSTANTIATE_TEST_SUITE_P(Table, StatusTest, ::testing::Values(200, 204, 399, 400, 404, 407, 500, 503));

TEST_F(HttpClientTest, RedirectIsNotFollowed) {
  LoopbackHttpServer server(302);
  server.setExtraHeaders("Location: /elsewhere\r\n");
  const auto outcome = head(server.url("/"));
  EXPECT_EQ(httpProbeCode(outcome), 1);
  EXPECT_EQ(server.requestLines().size(), 1u);
}

TEST_F(HttpClientTest, RefusedPortIsUnreachable) {
  RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const auto outcome = head("http://127.0.0.1:" + std::to_string(refusing.port()) + "/");
  EXPECT_EQ(outcome.kind, HttpStatusKind::Unreachable);
  EXPECT_EQ(httpProbeCode(outcome), -404);
}

TEST_F(HttpClientTest, ServerThatNeverAnswersIsEndedByTheTimeout) {
  LoopbackHttpServer server(200, LoopbackHttpServer::Mode::Silent);
  const auto outcome = head(server.url("/"));
  EXPECT_EQ(outcome.kind, HttpStatusKind::NoStatus) << outcome.detail;
  EXPECT_EQ(httpProbeCode(outcome), -1);
}

TEST_F(HttpClientTest, GarbageAnswerHasNoStatus) {
  LoopbackHttpServer server(200, LoopbackHttpServer::Mode::Garbage);
  EXPECT_EQ(httpProbeCode(head(server.url("/"))), -1);
}

TEST_F(HttpClientTest, MalformedUrlHasNoStatus) {
  EXPECT_EQ(httpProbeCode(head("HTTP://[zz/")), -1);
  EXPECT_EQ(httpProbeCode(head("http://127.0.0.1:99999/")), -1);
  EXPECT_TRUE(resolver.asked.empty());
}

TEST_F(HttpClientTest, UnresolvableHostIsUnreachableAndTheResolverWasAsked) {
  const auto outcome = head("http://no-such-host.test/");
  EXPECT_EQ(httpProbeCode(outcome), -404);
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"no-such-host.test"});
}

TEST_F(HttpClientTest, HostNameIsConnectedToTheResolvedAddress) {
  LoopbackHttpServer server(200);
  resolver.addresses["web.test"] = "127.0.0.1";
  EXPECT_EQ(httpProbeCode(head("http://web.test:" + std::to_string(server.port()) + "/x")), 1);
  EXPECT_EQ(server.requestLines().size(), 1u);
}

TEST_F(HttpClientTest, UppercaseSchemeAndBackslashesReachTheServerAsSlashes) {
  LoopbackHttpServer server(200);
  const std::string target = "HTTP:\\\\127.0.0.1:" + std::to_string(server.port()) + "\\a\\b.html";
  EXPECT_EQ(httpProbeCode(head(httpUrlOf(target))), 1);
  ASSERT_EQ(server.requestLines().size(), 1u);
  EXPECT_EQ(server.requestLines()[0], "HEAD /a/b.html HTTP/1.1");
}

TEST_F(HttpClientTest, ProxyThatRefusesIsUnreachable) {
  LoopbackHttpServer server(200);
  RefusingPort refusing;
  EXPECT_EQ(httpProbeCode(head(server.url("/"), "127.0.0.1", refusing.port())), -404);
  EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(HttpClientTest, ProxyThatAnswersGarbageHasNoStatus) {
  LoopbackHttpServer server(200);
  LoopbackHttpServer garbage(200, LoopbackHttpServer::Mode::Garbage);
  EXPECT_EQ(httpProbeCode(head(server.url("/"), "127.0.0.1", garbage.port())), -1);
  EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(HttpClientTest, ProxyNameGoesThroughTheResolver) {
  LoopbackHttpServer server(200);
  EXPECT_EQ(httpProbeCode(head(server.url("/"), "proxy.test", 3128)), -404);
  EXPECT_EQ(resolver.asked, std::vector<std::string>{"proxy.test"});
}

TEST_F(HttpClientTest, ProxyIsAskedWithTheAbsoluteUrl) {
  LoopbackHttpServer proxy(200);
  const auto outcome = head("http://web.test/page", "127.0.0.1", proxy.port());
  EXPECT_EQ(httpProbeCode(outcome), 1);
  ASSERT_EQ(proxy.requestLines().size(), 1u);
  EXPECT_EQ(proxy.requestLines()[0], "HEAD http://web.test/page HTTP/1.1");
  // The target's name is the proxy's business, not ours.
  EXPECT_TRUE(resolver.asked.empty());
}

class TinyproxyTest : public HttpClientTest {
 protected:
  void SetUp() override {
    if (!proxy.problem().empty()) GTEST_SKIP() << proxy.problem();
  }
  TinyproxyProcess proxy;
};

TEST_F(TinyproxyTest, StatusesPassThroughTheProxy) {
  LoopbackHttpServer ok(200);
  LoopbackHttpServer missing(404);
  LoopbackHttpServer broken(500);
  EXPECT_EQ(httpProbeCode(head(ok.url("/a"), "127.0.0.1", proxy.port())), 1);
  EXPECT_EQ(httpProbeCode(head(missing.url("/b"), "127.0.0.1", proxy.port())), -404);
  EXPECT_EQ(httpProbeCode(head(broken.url("/c"), "127.0.0.1", proxy.port())), -500);
  ASSERT_EQ(ok.requestLines().size(), 1u);
  EXPECT_EQ(ok.requestLines()[0], "HEAD /a HTTP/1.1");
}

TEST_F(TinyproxyTest, TargetTheProxyCannotReachGivesTheProxysStatus) {
  RefusingPort refusing;
  const auto outcome = head("http://127.0.0.1:" + std::to_string(refusing.port()) + "/", "127.0.0.1", proxy.port());
  EXPECT_EQ(outcome.kind, HttpStatusKind::ErrorStatus) << outcome.detail;
  EXPECT_LE(httpProbeCode(outcome), -400);
}

TEST_F(TinyproxyTest, ProxyByTheNameLocalhost) {
  LoopbackHttpServer ok(200);
  resolver.addresses["localhost"] = "127.0.0.1";
  EXPECT_EQ(httpProbeCode(head(ok.url("/"), "localhost", proxy.port())), 1);
  EXPECT_EQ(ok.requestLines().size(), 1u);
}

}  // namespace
}  // namespace kip::test
