#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "conditions/group_membership_probe.h"
#include "platform/linux/linux_group_membership.h"

namespace kip::test {
namespace {

// The current user's name and the names of the groups the kernel gives this process.
struct CurrentUser {
  std::string name;
  std::vector<std::string> groups;
};

CurrentUser currentUser() {
  CurrentUser user;
  if (const passwd* entry = getpwuid(geteuid())) user.name = entry->pw_name;
  std::vector<gid_t> ids(static_cast<std::size_t>(getgroups(0, nullptr)) + 1);
  const int count = getgroups(static_cast<int>(ids.size()), ids.data());
  ids.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  ids.push_back(getegid());
  for (const gid_t id : ids)
    if (const group* entry = getgrgid(id)) user.groups.emplace_back(entry->gr_name);
  return user;
}

TEST(GroupProbe, TheCurrentUserIsInTheGroupsOfThisProcess) {
  const auto user = currentUser();
  ASSERT_FALSE(user.name.empty());
  LinuxGroupMembership membership;
  const auto names = membership.groupsOf(user.name);
  ASSERT_TRUE(names.has_value());
  ASSERT_FALSE(names->empty());
  // getgrouplist reads the databases; the process got its groups from them at logon.
  for (const auto& name : user.groups) EXPECT_EQ(groupMembershipProbe(membership, user.name, name), 0) << name;
}

TEST(GroupProbe, LetterCaseOfTheRequiredNameDoesNotMatter) {
  const auto user = currentUser();
  ASSERT_FALSE(user.groups.empty());
  LinuxGroupMembership membership;
  std::string upper = user.groups.front();
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(groupMembershipProbe(membership, user.name, upper), 0);
}

TEST(GroupProbe, GroupsTheUserIsNotInAndUnknownUsers) {
  const auto user = currentUser();
  LinuxGroupMembership membership;
  EXPECT_EQ(groupMembershipProbe(membership, user.name, "kip-no-such-group"), 1);
  EXPECT_EQ(groupMembershipProbe(membership, user.name, ""), 1);
  EXPECT_EQ(groupMembershipProbe(membership, "kip-no-such-user", user.groups.front()), 1);
  EXPECT_EQ(groupMembershipProbe(membership, "", "root"), 1);
  EXPECT_TRUE(membership.groupsOf(std::string("a\0b", 3))->empty());
}

}  // namespace
}  // namespace kip::test
