#pragma once

#include <string_view>

#include "net/ip_address.h"

namespace kip {

enum class LookupStatus {
  Ok,
  NotFound,     // the name service knows no such host
  InvalidName,  // the text cannot be a host name; nothing was asked
  TimedOut,     // no answer within the lookup limit
  Failed,       // the name service could not be asked
};

struct LookupResult {
  LookupStatus status = LookupStatus::Failed;
  IpAddress address;  // valid when status is Ok
};

// Turns a host name into one address. Numeric addresses complete at once without a request.
class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // Looks up host and returns its first address (IPv4 preferred); every call ends within the
  // resolver's own time limit.
  virtual LookupResult resolve(std::string_view host) = 0;
};

}  // namespace kip
