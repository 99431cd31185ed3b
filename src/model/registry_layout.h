#pragma once

#include <string_view>

namespace kip {

// Where the program keeps its state in the registry.
inline constexpr std::string_view kProductKey = "Software\\Marl Fen\\Kip Launch Manager";
inline constexpr std::string_view kStartListKey = "Software\\Marl Fen\\Kip Launch Manager\\Start List";
inline constexpr std::string_view kPreferencesKey = "Software\\Marl Fen\\Kip Launch Manager\\Preferences";
inline constexpr std::string_view kPreviousStartKey = "SOFTWARE\\Marl Fen\\Kip Launch Manager";
inline constexpr std::string_view kIdConfigDbKey = "System\\CurrentControlSet\\control\\IDConfigDB";
inline constexpr std::string_view kHardwareProfilesKey =
    "SYSTEM\\CurrentControlSet\\control\\IDConfigDB\\Hardware Profiles";

}  // namespace kip
