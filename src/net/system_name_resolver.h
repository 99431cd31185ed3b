#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "net/name_resolver.h"

namespace kip {

// How long a name lookup may take before the probe gives up on it.
inline constexpr std::chrono::milliseconds kNameLookupLimit{5000};

// A blocking lookup of one host name, as getaddrinfo does it.
using BlockingLookup = std::function<LookupResult(const std::string& host)>;

// The system's name service (getaddrinfo), bounded in time: the lookup runs on a helper thread and
// the caller stops waiting at the limit, leaving the helper to finish on its own.
class SystemNameResolver final : public NameResolver {
 public:
  explicit SystemNameResolver(std::chrono::milliseconds limit = kNameLookupLimit, BlockingLookup lookup = {});

  LookupResult resolve(std::string_view host) override;

 private:
  std::chrono::milliseconds m_limit;
  BlockingLookup m_lookup;
};

// getaddrinfo for any address family; the first IPv4 address, else the first IPv6 address.
LookupResult getaddrinfoLookup(const std::string& host);

}  // namespace kip
