#pragma once

#include <cstdint>

namespace kip {

// Windows error numbers, kept so that results and probe codes read the same on every system.
namespace win {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kFileNotFound = 2;
inline constexpr std::int32_t kPathNotFound = 3;
inline constexpr std::int32_t kAccessDenied = 5;
inline constexpr std::int32_t kInvalidDrive = 15;
inline constexpr std::int32_t kNotReady = 21;
inline constexpr std::int32_t kGenFailure = 31;
inline constexpr std::int32_t kBadNetPath = 53;
inline constexpr std::int32_t kBadNetName = 67;
inline constexpr std::int32_t kInvalidParameter = 87;
inline constexpr std::int32_t kBusy = 170;
inline constexpr std::int32_t kSemTimeout = 121;
inline constexpr std::int32_t kMoreData = 234;
inline constexpr std::int32_t kNoMoreItems = 259;
inline constexpr std::int32_t kStillActive = 259;
inline constexpr std::int32_t kKeyDeleted = 1018;
inline constexpr std::int32_t kNoNetwork = 1222;
inline constexpr std::int32_t kNotLoggedOn = 1245;
inline constexpr std::int32_t kLogonFailure = 1326;
inline constexpr std::int32_t kFileCorrupt = 1392;
}  // namespace win

// Maps an errno value onto the Windows error number that means the same.
std::int32_t winErrorFromErrno(int err);

}  // namespace kip
