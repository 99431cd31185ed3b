#pragma once

#include <cstdint>
#include <string_view>

#include "conditions/host_probe.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "platform/network_services.h"

namespace kip {

// Longest test text the probe takes, in bytes; a longer one gets kTooLongCode without a probe.
inline constexpr std::size_t kMaxTestText = 259;
// The code of a test text longer than kMaxTestText: minus "invalid parameter".
inline constexpr std::int32_t kTooLongCode = -87;

// The network probe: chooses the test by the form of the text and answers with its probe code.
class NetworkProbe {
 public:
  NetworkProbe(NetworkServices& services, HostProbe& host) : m_services(services), m_host(host) {}

  // Empty text: network logon test; exactly "DUN": dial-up test; a leading "\": share test; a ":" as
  // second character or a leading "/": local path test; anything else: host test, where proxy and port
  // serve HTTP targets.
  std::int32_t probe(std::string_view text, std::string_view proxy, std::string_view port);

 private:
  NetworkServices& m_services;
  HostProbe& m_host;
};

// The network state refresh: the last network result becomes the probe of the "Network" preference,
// and the last dial-up result too when that preference is exactly "DUN".
void refreshNetworkState(NetworkProbe& probe, const Preferences& prefs, NetworkResults& results);

}  // namespace kip
