#pragma once

#include <cstdint>
#include <string_view>

namespace kip {

// Tests a host or an HTTP address: one ICMP echo, or one HTTP HEAD through the given proxy.
class HostProbe {
 public:
  virtual ~HostProbe() = default;
  // Probes target and waits for the answer: 1 present, -1 a failed ping or an HTTP failure without
  // status, minus the HTTP status (400 and up), -404 for an HTTP host that cannot be reached.
  // proxy and port are the running Proxy and Port; they serve HTTP targets only.
  virtual std::int32_t probe(std::string_view target, std::string_view proxy, std::string_view port) = 0;
};

}  // namespace kip
