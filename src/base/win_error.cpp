#include "base/win_error.h"

#include <cerrno>

namespace kip {

std::int32_t winErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return win::kSuccess;
    case ENOENT:
      return win::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return win::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return win::kAccessDenied;
    case ENOMEDIUM:
      return win::kNotReady;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ECONNREFUSED:
    case EHOSTDOWN:
      return win::kBadNetPath;
    case ETIMEDOUT:
      return win::kSemTimeout;
    case ENETDOWN:
      return win::kNoNetwork;
    default:
      return win::kGenFailure;
  }
}

}  // namespace kip
