#pragma once

#include <QString>

namespace kip {

// The name of the dynamic property (an int) by which windows and controls name their help topic.
inline constexpr const char* kHelpTopicProperty = "kipHelpTopic";

// The page of a help topic: help/topic-N.html beside the program, else in the installed help folder;
// empty when neither exists.
QString helpTopicPage(int topic);

// Hands an address (a web page, a file: URL) to the desktop's opener ($KIPLAUNCH_OPENER, else
// xdg-open) without waiting for it; false when the opener cannot be started.
bool openWithOpener(const QString& address);

// Opens the page of a help topic with the desktop's opener ($KIPLAUNCH_OPENER, else xdg-open),
// without waiting for it. Returns false when there is no page or the opener cannot be started.
bool openHelpTopic(int topic);

}  // namespace kip
