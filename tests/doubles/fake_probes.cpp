#include "fake_probes.h"

namespace kip::test {

std::int32_t FakeNetworkServices::networkLogon() {
  ++logonCalls;
  return logonCode;
}

std::int32_t FakeNetworkServices::dialUp() {
  ++dialUpCalls;
  return dialUpCode;
}

std::int32_t FakeNetworkServices::connectShare(std::string_view unc) {
  shares.emplace_back(unc);
  const auto found = shareCodes.find(std::string(unc));
  return found == shareCodes.end() ? defaultShareCode : found->second;
}

std::int32_t FakeNetworkServices::pathPresence(std::string_view path) {
  paths.emplace_back(path);
  const auto found = pathCodes.find(std::string(path));
  return found == pathCodes.end() ? defaultPathCode : found->second;
}

std::int32_t FakeHostProbe::probe(std::string_view target, std::string_view proxy, std::string_view port) {
  calls.push_back({std::string(target), std::string(proxy), std::string(port)});
  const auto found = codes.find(std::string(target));
  return found == codes.end() ? defaultCode : found->second;
}

std::optional<std::vector<std::string>> FakeGroupMembership::groupsOf(std::string_view user) {
  asked.emplace_back(user);
  if (!available) return std::nullopt;
  const auto found = groups.find(std::string(user));
  return found == groups.end() ? std::vector<std::string>{} : found->second;
}

std::optional<PowerStatus> FakeSystemInfo::powerStatus() {
  ++powerCalls;
  return power;
}

std::optional<std::string> FakeSystemInfo::configFile(std::string_view path) {
  const auto it = files.find(path);
  if (it == files.end()) return std::nullopt;
  return it->second;
}

std::optional<bool> FakeSystemInfo::settingsBoolean(std::string_view schema, std::string_view key) {
  const auto it = settings.find(std::string(schema) + " " + std::string(key));
  if (it == settings.end()) return std::nullopt;
  return it->second;
}

LookupResult FakeNameResolver::resolve(std::string_view host) {
  asked.emplace_back(host);
  if (auto numeric = IpAddress::parse(host)) return {LookupStatus::Ok, *numeric};
  const auto found = addresses.find(std::string(host));
  if (found == addresses.end()) return {missStatus, {}};
  auto address = IpAddress::parse(found->second);
  if (!address) return {LookupStatus::Failed, {}};
  return {LookupStatus::Ok, *address};
}

}  // namespace kip::test
