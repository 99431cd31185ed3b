#include "platform/linux/linux_group_membership.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>

namespace kip {

std::optional<std::vector<std::string>> LinuxGroupMembership::groupsOf(std::string_view user) {
  std::vector<std::string> names;
  if (user.empty() || user.find('\0') != std::string_view::npos) return names;
  const std::string login(user);
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  while (getpwnam_r(login.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (!found) return names;

  std::vector<gid_t> ids(64);
  int count = static_cast<int>(ids.size());
  for (int attempt = 0; getgrouplist(login.c_str(), found->pw_gid, ids.data(), &count) < 0; ++attempt) {
    if (attempt > 8 || count <= static_cast<int>(ids.size())) return names;
    ids.resize(static_cast<std::size_t>(count));
  }
  ids.resize(static_cast<std::size_t>(count));

  std::vector<char> groupBuffer(16384);
  for (const gid_t id : ids) {
    group groupEntry{};
    group* groupFound = nullptr;
    int rc;
    while ((rc = getgrgid_r(id, &groupEntry, groupBuffer.data(), groupBuffer.size(), &groupFound)) == ERANGE &&
           groupBuffer.size() < (1u << 22))
      groupBuffer.resize(groupBuffer.size() * 2);
    if (rc == 0 && groupFound && groupFound->gr_name) names.emplace_back(groupFound->gr_name);
  }
  return names;
}

}  // namespace kip
