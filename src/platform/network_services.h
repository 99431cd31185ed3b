#pragma once

#include <cstdint>
#include <string_view>

namespace kip {

// The system's answers to the network probe's local forms. Every answer is a probe code: above 0
// present, below 0 absent (minus a Windows error number where there is one), 0 no verdict.
class NetworkServices {
 public:
  virtual ~NetworkServices() = default;
  // The network logon test: 1 when a non-loopback interface is up with an address and a default route
  // exists, -1222 when none qualifies, 0 when the interfaces cannot be read.
  virtual std::int32_t networkLogon() = 0;
  // The dial-up test: 1 when a point-to-point interface other than loopback is up, else -1.
  virtual std::int32_t dialUp() = 0;
  // Connects to \\server\share[\path] anonymously and releases it at once: 1, or minus the error.
  virtual std::int32_t connectShare(std::string_view unc) = 0;
  // Whether a drive path ("c:\...") or an absolute Linux path exists: 1 when it does, or when access is
  // denied or there is no medium; minus the error otherwise (2 file, 3 path, 15 unmapped drive).
  virtual std::int32_t pathPresence(std::string_view path) = 0;
};

}  // namespace kip
