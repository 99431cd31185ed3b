#include "conditions/condition_text.h"

#include <gtest/gtest.h>

#include "conditions/group_membership_probe.h"
#include "doubles/fake_probes.h"

namespace kip::test {
namespace {

TEST(TrimBlanks, RemovesBlanksAndControlCharactersAtBothEnds) {
  EXPECT_EQ(trimBlanks("  a b \t\r\n"), "a b");
  EXPECT_EQ(trimBlanks("\x01x\x1f"), "x");
  EXPECT_EQ(trimBlanks("   "), "");
  EXPECT_EQ(trimBlanks("caf\xc3\xa9"), "caf\xc3\xa9");
}

struct CaseCompare {
  const char* a;
  const char* b;
  bool equal;
};

class EqualsIgnoringCaseTest : public ::testing::TestWithParam<CaseCompare> {};

TEST_P(EqualsIgnoringCaseTest, Table) {
  EXPECT_EQ(equalsIgnoringCase(GetParam().a, GetParam().b), GetParam().equal);
  EXPECT_EQ(equalsIgnoringCase(GetParam().b, GetParam().a), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(Table, EqualsIgnoringCaseTest,
                         ::testing::Values(CaseCompare{"Alice", "aLICE", true}, CaseCompare{"alice", "alice ", false},
                                           CaseCompare{"", "", true}, CaseCompare{"a", "", false},
                                           CaseCompare{"J\xc3\x9cRGEN", "j\xc3\xbcrgen", true},        // Ü and ü
                                           CaseCompare{"\xce\xa3\xce\x91", "\xcf\x83\xce\xb1", true},  // Greek
                                           CaseCompare{"u", "\xc3\xbc", false},
                                           CaseCompare{"\xff"
                                                       "A",
                                                       "\xff"
                                                       "a",
                                                       true},  // stray byte kept
                                           CaseCompare{"\xff", "\xfe", false}));

TEST(GroupMembershipProbe, MemberByTrimmedNameWithoutCase) {
  FakeGroupMembership groups;
  groups.groups["alice"] = {"users", "  Video  "};
  EXPECT_EQ(groupMembershipProbe(groups, "alice", "video"), 0);
  EXPECT_EQ(groupMembershipProbe(groups, "alice", "USERS"), 0);
  EXPECT_EQ(groupMembershipProbe(groups, "alice", "audio"), 1);
}

TEST(GroupMembershipProbe, UnknownUserIsNoMember) {
  FakeGroupMembership groups;
  EXPECT_EQ(groupMembershipProbe(groups, "ghost", "users"), 1);
  EXPECT_EQ(groupMembershipProbe(groups, "", ""), 1);
}

TEST(GroupMembershipProbe, NoWayToAskGivesMinusOne) {
  FakeGroupMembership groups;
  groups.available = false;
  EXPECT_EQ(groupMembershipProbe(groups, "alice", "users"), -1);
}

}  // namespace
}  // namespace kip::test
