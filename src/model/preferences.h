#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kip {

// The running preferences and the window's stored layout.
struct Preferences {
  bool AutostartEnabled = false;
  std::int32_t StartupDelay = 0;
  bool Splash = false;  // the main window's copy starts false
  bool Global = false;
  bool AboutNet = false;
  std::string Network;
  std::string Proxy;
  std::string Port;
  std::int32_t Height = 429;
  std::int32_t Width = 600;
  std::int32_t Top = 221;
  std::int32_t Left = 238;
  std::int32_t SortCol = 0;
  std::int32_t PgmTop = -1;
  std::int32_t PgmLeft = -1;
  std::array<std::int32_t, 8> ColWidths{};
};

// The "Run" value: delay + 1 when autostart is on, -delay when it is off (a negative delay counts as 0).
std::int32_t encodeRun(bool autostartEnabled, std::int32_t startupDelay);
void decodeRun(std::int32_t run, bool& autostartEnabled, std::int32_t& startupDelay);

// The logon run's switch and delay in words: "on, start-up delay 30 seconds".
std::string autostartStatusText(bool autostartEnabled, std::int32_t startupDelay);

// The splash switch read at program entry: true unless a stored "Splash" says otherwise.
bool readSplashAtEntry(Registry& registry);

// Reads every preference, each on its own; the column widths as one group in column order, the first
// missing or mistyped one ending the group. A missing key or value leaves the value that prefs already holds.
void readPreferences(Registry& registry, Preferences& prefs);

// Writes the preferences at the close of the main window: the window's values only when it was opened,
// "Run" and "Splash" always. Failures are ignored; returns false when the key could not be opened.
bool writePreferences(Registry& registry, const Preferences& prefs, bool windowOpened);

// Picks preferences by value name ("Run", "Splash", "Global", "AboutNet", "Network", "Proxy", "Port").
using PreferenceFilter = std::function<bool(std::string_view)>;

// Writes the seven running preferences the options dialog and the exchange file change, in one batch; with a
// filter, only those it picks. False when the key could not be opened.
bool writeRunningPreferences(Registry& registry, const Preferences& prefs, const PreferenceFilter& only = {});

// A column width is applied only when it is greater than 10 and less than 1000.
inline constexpr std::int32_t kNarrowestColumnWidth = 11;
inline bool columnWidthApplies(std::int32_t width) { return width >= kNarrowestColumnWidth && width < 1000; }

}  // namespace kip
