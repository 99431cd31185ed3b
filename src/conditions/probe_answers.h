#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "conditions/host_probe.h"
#include "platform/network_services.h"

namespace kip {

// Probe codes given beforehand for chosen test texts, so that a plan can say "this resource is there" without
// asking the network. Texts are matched exactly; every other text is probed for real.
class ProbeAnswers {
 public:
  // The code the probe of text is to give: above 0 present, below 0 absent.
  void set(std::string text, std::int32_t code) { m_codes[std::move(text)] = code; }
  [[nodiscard]] std::optional<std::int32_t> find(std::string_view text) const;

 private:
  std::map<std::string, std::int32_t, std::less<>> m_codes;
};

// The system's network services, with the share and path tests of answered texts taken from the answers.
class AnsweringNetworkServices final : public NetworkServices {
 public:
  AnsweringNetworkServices(NetworkServices& inner, const ProbeAnswers& answers) : m_inner(inner), m_answers(answers) {}
  std::int32_t networkLogon() override { return m_inner.networkLogon(); }
  std::int32_t dialUp() override { return m_inner.dialUp(); }
  std::int32_t connectShare(std::string_view unc) override;
  std::int32_t pathPresence(std::string_view path) override;

 private:
  NetworkServices& m_inner;
  const ProbeAnswers& m_answers;
};

// The host probe, with answered hosts and addresses taken from the answers.
class AnsweringHostProbe final : public HostProbe {
 public:
  AnsweringHostProbe(HostProbe& inner, const ProbeAnswers& answers) : m_inner(inner), m_answers(answers) {}
  std::int32_t probe(std::string_view target, std::string_view proxy, std::string_view port) override;

 private:
  HostProbe& m_inner;
  const ProbeAnswers& m_answers;
};

}  // namespace kip
