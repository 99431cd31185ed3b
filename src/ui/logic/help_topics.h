#pragma once

#include <array>

namespace kip {

// Help topic numbers that windows and controls carry; each has its page help/topic-N.html.
namespace help_topic {
inline constexpr int kContents = 4;
inline constexpr int kMainWindow = 5;
inline constexpr int kProgramTab = 9;
inline constexpr int kSpeedBar = 10;
inline constexpr int kConditionsTab = 11;
inline constexpr int kStatusTab = 12;
inline constexpr int kDefinitionDialog = 20;
inline constexpr int kTimesTab = 29;
inline constexpr int kStartUpDelay = 37;
inline constexpr int kAfterwardsTab = 38;
inline constexpr int kDisplaySettings = 39;
inline constexpr int kGlobalEntries = 40;
inline constexpr int kOptions = 43;
inline constexpr int kOkButton = 53;
inline constexpr int kCancelButton = 54;
inline constexpr int kNetworkState = 60;
inline constexpr int kNetworkTest = 61;
inline constexpr int kTestButton = 62;
inline constexpr int kNetTest = 63;
inline constexpr int kInternetConnection = 64;
}  // namespace help_topic

// Every topic some window or control uses.
inline constexpr std::array<int, 20> kHelpTopics = {4,  5,  9,  10, 11, 12, 20, 29, 37, 38,
                                                    39, 40, 43, 53, 54, 60, 61, 62, 63, 64};

}  // namespace kip
