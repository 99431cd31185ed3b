#include "conditions/group_membership_probe.h"

#include "conditions/condition_text.h"

namespace kip {

std::int32_t groupMembershipProbe(GroupMembership& groups, std::string_view user, std::string_view group) {
  const auto names = groups.groupsOf(user);
  if (!names) return -1;
  for (const auto& name : *names)
    if (equalsIgnoringCase(trimBlanks(name), group)) return 0;
  return 1;
}

}  // namespace kip
