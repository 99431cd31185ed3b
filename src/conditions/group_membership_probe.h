#pragma once

#include <cstdint>
#include <string_view>

#include "platform/group_membership.h"

namespace kip {

// The group membership probe: 0 when user belongs to group (given trimmed), 1 when not or when the
// user is unknown, -1 when the system offers no way to ask. Each group name is trimmed and compared
// without regard to case.
std::int32_t groupMembershipProbe(GroupMembership& groups, std::string_view user, std::string_view group);

}  // namespace kip
