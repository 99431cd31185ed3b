#pragma once

#include "conditions/asm_ping.h"
#include "conditions/host_probe.h"

namespace kip {

// Runs each host probe on its own ASM_Ping thread and waits for it to end.
class HostProbeRunner final : public HostProbe {
 public:
  explicit HostProbeRunner(NameResolver& resolver, HostProbeLimits limits = {})
      : m_resolver(resolver), m_limits(limits) {}

  std::int32_t probe(std::string_view target, std::string_view proxy, std::string_view port) override;

 private:
  NameResolver& m_resolver;
  HostProbeLimits m_limits;
};

}  // namespace kip
