#pragma once

#include "platform/group_membership.h"

namespace kip {

// Group membership from the passwd and group databases (getgrouplist: primary and supplementary).
class LinuxGroupMembership final : public GroupMembership {
 public:
  std::optional<std::vector<std::string>> groupsOf(std::string_view user) override;
};

}  // namespace kip
