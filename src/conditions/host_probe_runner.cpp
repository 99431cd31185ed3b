#include "conditions/host_probe_runner.h"

namespace kip {

std::int32_t HostProbeRunner::probe(std::string_view target, std::string_view proxy, std::string_view port) {
  ASM_Ping thread(PingRequest{std::string(target), std::string(proxy), std::string(port)}, m_resolver, m_limits);
  return thread.waitFor();
}

}  // namespace kip
