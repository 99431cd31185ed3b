#include "conditions/probe_answers.h"

namespace kip {

std::optional<std::int32_t> ProbeAnswers::find(std::string_view text) const {
  const auto it = m_codes.find(text);
  if (it == m_codes.end()) return std::nullopt;
  return it->second;
}

std::int32_t AnsweringNetworkServices::connectShare(std::string_view unc) {
  if (const auto code = m_answers.find(unc)) return *code;
  return m_inner.connectShare(unc);
}

std::int32_t AnsweringNetworkServices::pathPresence(std::string_view path) {
  if (const auto code = m_answers.find(path)) return *code;
  return m_inner.pathPresence(path);
}

std::int32_t AnsweringHostProbe::probe(std::string_view target, std::string_view proxy, std::string_view port) {
  if (const auto code = m_answers.find(target)) return *code;
  return m_inner.probe(target, proxy, port);
}

}  // namespace kip
