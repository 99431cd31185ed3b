#include "conditions/network_probe.h"

namespace kip {

std::int32_t NetworkProbe::probe(std::string_view text, std::string_view proxy, std::string_view port) {
  if (text.size() > kMaxTestText) return kTooLongCode;
  if (text.empty()) return m_services.networkLogon();
  if (text == "DUN") return m_services.dialUp();
  if (text.front() == '\\') return m_services.connectShare(text);
  if ((text.size() >= 2 && text[1] == ':') || text.front() == '/') return m_services.pathPresence(text);
  return m_host.probe(text, proxy, port);
}

void refreshNetworkState(NetworkProbe& probe, const Preferences& prefs, NetworkResults& results) {
  results.lastNetwork = probe.probe(prefs.Network, prefs.Proxy, prefs.Port);
  if (prefs.Network == "DUN") results.lastDialUp = results.lastNetwork;
}

}  // namespace kip
