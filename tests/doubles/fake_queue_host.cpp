#include "fake_queue_host.h"

namespace kip::test {

void FakeQueueHost::setTimerEnabled(bool enabled) {
  timer = enabled;
  log.push_back(enabled ? "timer on" : "timer off");
}

void FakeQueueHost::setApplicationTitle(std::string_view title) {
  applicationTitle = title;
  titles.emplace_back(title);
  log.push_back("title");
}

void FakeQueueHost::setMainCaption(std::string_view caption) {
  mainCaption = caption;
  log.push_back("caption");
}

void FakeQueueHost::setShowApp(bool shown) {
  showApp = shown;
  log.push_back(shown ? "showApp on" : "showApp off");
}

void FakeQueueHost::minimizeApplication() { log.push_back("minimize"); }

void FakeQueueHost::setTrayIconActive(bool active) {
  trayActive = active;
  log.push_back(active ? "tray on" : "tray off");
}

void FakeQueueHost::showWindow() { log.push_back("show"); }

void FakeQueueHost::closeMainWindow() {
  closed = true;
  log.push_back("close");
}

void FakeQueueHost::processMessages() {
  log.push_back("messages");
  if (onProcessMessages) onProcessMessages();
}

void FakeQueueHost::refreshQueueColumns(std::size_t row, std::string_view timers, std::string_view result) {
  refreshes.push_back({row, std::string(timers), std::string(result)});
  log.push_back("refresh");
}

bool FakeQueueHost::showStatusPage(StartDefinition& definition) {
  statusPages.push_back(definition.Name);
  return statusPageAnswer;
}

}  // namespace kip::test
