#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kip {

// The user groups the system knows a user to belong to.
class GroupMembership {
 public:
  virtual ~GroupMembership() = default;
  // The names of the user's groups, primary and supplementary, in the system's order; an empty list
  // for an unknown user; nullopt when the system offers no way to ask.
  virtual std::optional<std::vector<std::string>> groupsOf(std::string_view user) = 0;
};

}  // namespace kip
