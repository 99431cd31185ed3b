#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace kip {

namespace {

constexpr int kMaxLinkHops = 40;

std::string errorText(int error) { return std::strerror(error); }

// The folder that holds the entry at path, as the kernel would look it up.
std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The kernel's rule for links in shared folders (fs.protected_symlinks): in a sticky folder every user may
// write, a link is followed only when it belongs to the follower or to the folder's owner, so that no user can
// point another user's write at a file of their choosing.
bool mayFollow(const std::string& link, const struct stat& linkInfo) {
  if (linkInfo.st_uid == ::geteuid()) return true;
  struct stat folder {};
  if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || folder.st_uid == linkInfo.st_uid;
}

// Follows symbolic links from path to the name that is no link (it may not exist); why not in problem when a
// link cannot be read, may not be followed or the chain is too long.
bool resolveLinks(const std::string& path, std::string& target, std::string& problem) {
  target = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) {
      if (errno == ENOENT) return true;
      problem = errorText(errno);
      return false;
    }
    if (!S_ISLNK(info.st_mode)) return true;
    if (!mayFollow(target, info)) {
      problem = target == path ? "it is another user's link in a folder every user may write"
                               : target + " is another user's link in a folder every user may write";
      return false;
    }
    std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t length = readlink(target.c_str(), link.data(), link.size());
    if (length < 0) {
      problem = errorText(errno);
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    if (link.empty()) {
      problem = errorText(ENOENT);
      return false;
    }
    if (link.front() == '/') {
      target = link;
    } else {
      const auto slash = target.rfind('/');
      target = slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
    }
  }
  problem = errorText(ELOOP);
  return false;
}

bool writeAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A new file beside target with a name no other file has; -1 with errno set when none could be created.
int createTemporary(const std::string& target, std::string& tempPath) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(random()));
    tempPath = target + suffix + ".tmp";
    // The creation mode is filtered by the umask, as any new file's is.
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Rewrites a file that other hard links share, so that it stays one file.
std::string rewriteInPlace(const std::string& target, std::string_view content) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errorText(errno);
  bool ok = writeAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  return ok ? std::string() : errorText(error);
}

std::string replaceAtomically(const std::string& target, std::string_view content, const struct stat* existing) {
  std::string tempPath;
  const int fd = createTemporary(target, tempPath);
  if (fd < 0) {
    // A folder this user may not write can still hold a file it may write: rewrite that one in place.
    if (existing && (errno == EACCES || errno == EPERM)) return rewriteInPlace(target, content);
    return errorText(errno);
  }
  if (existing) {
    // Another owner can only be kept by a privileged process; the mode is kept in any case.
    // A refusal is expected from an unprivileged process and leaves the new owner in place; its errno is
    // no failure of the replace.
    if ((existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) &&
        ::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
      errno = 0;
    }
  }
  bool ok = (!existing || ::fchmod(fd, existing->st_mode & 07777) == 0) && writeAll(fd, content) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(tempPath.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (ok) return {};
  ::unlink(tempPath.c_str());
  return errorText(error);
}

}  // namespace

std::string replaceFile(const std::string& path, std::string_view content) {
  std::string target;
  if (std::string problem; !resolveLinks(path, target, problem)) return problem;
  struct stat existing {};
  if (::lstat(target.c_str(), &existing) != 0) {
    if (errno != ENOENT) return errorText(errno);
    return replaceAtomically(target, content, nullptr);
  }
  if (S_ISDIR(existing.st_mode)) return "it is a folder";
  if (!S_ISREG(existing.st_mode)) return "it is not a regular file";
  if (existing.st_nlink > 1) return rewriteInPlace(target, content);
  return replaceAtomically(target, content, &existing);
}

}  // namespace kip
