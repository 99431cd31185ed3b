#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "net/host_name.h"
#include "net/system_name_resolver.h"

namespace kip::test {
namespace {

TEST(IpAddress, ParsesNumericFormsOnly) {
  EXPECT_EQ(IpAddress::parse("127.0.0.1")->toString(), "127.0.0.1");
  EXPECT_EQ(IpAddress::parse("127.1")->toString(), "127.0.0.1");
  EXPECT_TRUE(IpAddress::parse("::1")->isV6());
  EXPECT_FALSE(IpAddress::parse("localhost").has_value());
  EXPECT_FALSE(IpAddress::parse("").has_value());
  EXPECT_FALSE(IpAddress::parse("1.2.3.4 ").has_value());
}

struct NameCase {
  const char* text;
  bool valid;
};

class HostNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(HostNameTest, Validity) { EXPECT_EQ(isValidHostName(GetParam().text), GetParam().valid) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(Table, HostNameTest,
                         ::testing::Values(NameCase{"localhost", true}, NameCase{"a-b.example.org.", true},
                                           NameCase{"under_score", true}, NameCase{"::1", true}, NameCase{"", false},
                                           NameCase{"   ", false}, NameCase{"bad host", false}, NameCase{"a..b", false},
                                           NameCase{".a", false}, NameCase{"https://x", false},
                                           NameCase{"host/path", false}, NameCase{"x!y", false}));

TEST(HostName, LabelAndNameLengthLimits) {
  EXPECT_TRUE(isValidHostName(std::string(63, 'a') + ".b"));
  EXPECT_FALSE(isValidHostName(std::string(64, 'a') + ".b"));
  std::string name;
  while (name.size() < 250) name += "abcdefg.";
  EXPECT_FALSE(isValidHostName(name + "abcdefgh"));
}

// A lookup function that counts its calls and answers with a fixed address.
struct CountingLookup {
  std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
  LookupResult operator()(const std::string&) const {
    ++*calls;
    return {LookupStatus::Ok, *IpAddress::parse("127.0.0.9")};
  }
};

TEST(SystemNameResolver, NumericAndInvalidNamesAskNobody) {
  CountingLookup lookup;
  SystemNameResolver resolver(std::chrono::milliseconds(1000), lookup);
  const auto numeric = resolver.resolve("127.0.0.1");
  EXPECT_EQ(numeric.status, LookupStatus::Ok);
  EXPECT_EQ(numeric.address.toString(), "127.0.0.1");
  EXPECT_EQ(resolver.resolve("   ").status, LookupStatus::InvalidName);
  EXPECT_EQ(resolver.resolve("https://x").status, LookupStatus::InvalidName);
  EXPECT_EQ(resolver.resolve("").status, LookupStatus::InvalidName);
  EXPECT_EQ(*lookup.calls, 0);
  EXPECT_EQ(resolver.resolve("name.test").address.toString(), "127.0.0.9");
  EXPECT_EQ(*lookup.calls, 1);
}

TEST(SystemNameResolver, GivesUpOnALookupThatDoesNotAnswer) {
  // The helper blocks until the test releases it, long after the resolver has given up.
  struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
  };
  auto gate = std::make_shared<Gate>();
  SystemNameResolver resolver(std::chrono::milliseconds(100), [gate](const std::string&) {
    std::unique_lock lock(gate->mutex);
    gate->cv.wait_for(lock, std::chrono::seconds(10), [&] { return gate->open; });
    return LookupResult{LookupStatus::Ok, *IpAddress::parse("127.0.0.1")};
  });
  EXPECT_EQ(resolver.resolve("slow.test").status, LookupStatus::TimedOut);
  {
    const std::lock_guard lock(gate->mutex);
    gate->open = true;
  }
  gate->cv.notify_all();
}

TEST(SystemNameResolver, LocalhostThroughTheSystem) {
  SystemNameResolver resolver;
  const auto found = resolver.resolve("localhost");
  ASSERT_EQ(found.status, LookupStatus::Ok);
  const auto text = found.address.toString();
  EXPECT_TRUE(text.starts_with("127.") || text == "::1") << text;
}

}  // namespace
}  // namespace kip::test
