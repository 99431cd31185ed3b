#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "conditions/host_probe.h"
#include "conditions/network_probe.h"
#include "net/name_resolver.h"
#include "platform/group_membership.h"
#include "platform/network_services.h"
#include "platform/system_info.h"

namespace kip::test {

// Network services that answer what the test scripts and remember what was asked.
class FakeNetworkServices final : public NetworkServices {
 public:
  std::int32_t logonCode = 1;
  std::int32_t dialUpCode = -1;
  std::map<std::string, std::int32_t> shareCodes;  // by the exact text; others get defaultShareCode
  std::int32_t defaultShareCode = -53;
  std::map<std::string, std::int32_t> pathCodes;  // by the exact text; others get defaultPathCode
  std::int32_t defaultPathCode = -2;

  int logonCalls = 0;
  int dialUpCalls = 0;
  std::vector<std::string> shares;  // every share text asked, in order
  std::vector<std::string> paths;   // every path text asked, in order

  std::int32_t networkLogon() override;
  std::int32_t dialUp() override;
  std::int32_t connectShare(std::string_view unc) override;
  std::int32_t pathPresence(std::string_view path) override;
};

// A host probe with scripted answers by target.
class FakeHostProbe final : public HostProbe {
 public:
  struct Call {
    std::string target, proxy, port;
  };
  std::map<std::string, std::int32_t> codes;  // by the exact target; others get defaultCode
  std::int32_t defaultCode = -1;
  std::vector<Call> calls;

  std::int32_t probe(std::string_view target, std::string_view proxy, std::string_view port) override;
};

// Group membership with scripted groups by user; users not listed are unknown (no groups).
class FakeGroupMembership final : public GroupMembership {
 public:
  std::map<std::string, std::vector<std::string>> groups;
  bool available = true;  // false: the system offers no way to ask
  std::vector<std::string> asked;

  std::optional<std::vector<std::string>> groupsOf(std::string_view user) override;
};

// System facts set by the test; the power status may be made to fail.
class FakeSystemInfo final : public SystemInfo {
 public:
  bool nt = true;
  std::optional<std::string> user = std::string("tester");
  std::optional<PowerStatus> power = PowerStatus{1, 255};
  int powerCalls = 0;

  std::string desktops;                                   // currentDesktops()
  std::set<std::string, std::less<>> installed;           // the programs programInstalled() finds
  std::map<std::string, std::string, std::less<>> files;  // configFile() by path
  std::map<std::string, bool, std::less<>> settings;      // "schema key" -> value

  [[nodiscard]] bool isNT() const override { return nt; }
  std::optional<std::string> userName() override { return user; }
  std::optional<PowerStatus> powerStatus() override;
  std::string currentDesktops() override { return desktops; }
  bool programInstalled(std::string_view program) override { return installed.contains(program); }
  std::optional<std::string> configFile(std::string_view path) override;
  std::optional<bool> settingsBoolean(std::string_view schema, std::string_view key) override;
};

// A name resolver with scripted answers: listed names resolve to their address, numeric addresses to
// themselves, everything else fails with missStatus. Never asks a name service.
class FakeNameResolver final : public NameResolver {
 public:
  std::map<std::string, std::string> addresses;  // name -> numeric address
  LookupStatus missStatus = LookupStatus::NotFound;
  std::vector<std::string> asked;

  LookupResult resolve(std::string_view host) override;
};

// The fakes wired into a network probe, for tests of anything that runs the condition test.
struct FakeProbes {
  FakeNetworkServices services;
  FakeHostProbe host;
  FakeGroupMembership groups;
  FakeSystemInfo system;
  NetworkProbe probe{services, host};
};

}  // namespace kip::test
