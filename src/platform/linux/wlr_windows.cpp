#include "platform/linux/wlr_windows.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include <wayland-client.h>

#include "exchange/desktop_entry.h"
#include "platform/linux/signal_free_thread.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace kip {

namespace fs = std::filesystem;

namespace {

// The newest version of the protocol this file knows.
constexpr std::uint32_t kMaxVersion = 3;
// Desktop entries looked at per folder, and starts remembered that still wait for a window.
constexpr std::size_t kMaxEntryFiles = 10000;
constexpr std::size_t kMaxStarts = 256;

std::string lowered(std::string text) {
  for (auto& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string canonicalOf(const std::string& path) {
  std::error_code error;
  const auto canonical = fs::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

// Whether an Exec program (a bare name or a path) runs the executable.
bool execRuns(const std::string& program, const std::string& executable, const std::vector<std::string>& names) {
  if (program.find('/') != std::string::npos) return canonicalOf(program) == canonicalOf(executable);
  return std::find(names.begin(), names.end(), program) != names.end();
}

// Runs the body over the desktop entry files under the folder, in a stable order, with their desktop file
// ids (the path below the folder, "/" as "-", without ".desktop"); stops when the body returns true.
template <typename Body>
bool forEachEntryFile(const std::string& folder, Body&& body) {
  std::vector<fs::path> files;
  std::error_code error;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
  for (; !error && it != end && files.size() < kMaxEntryFiles; it.increment(error)) {
    if (it->path().extension() == ".desktop") files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    auto id = file.lexically_relative(folder).replace_extension().string();
    std::replace(id.begin(), id.end(), '/', '-');
    if (body(file.string(), id)) return true;
  }
  return false;
}

// Runs a round trip on the display's default queue for at most the deadline; false when the compositor
// did not answer in time or the connection failed.
bool roundtrip(wl_display* display, std::chrono::steady_clock::time_point deadline) {
  bool done = false;
  static const wl_callback_listener listener = {
      [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback* callback = wl_display_sync(display);
  if (!callback) return false;
  wl_callback_add_listener(callback, &listener, &done);
  bool ok = true;
  while (!done && ok) {
    while (wl_display_prepare_read(display) != 0) {
      if (wl_display_dispatch_pending(display) < 0) {
        ok = false;
        break;
      }
    }
    if (!ok || done) {
      if (ok) wl_display_cancel_read(display);
      break;
    }
    wl_display_flush(display);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd fd{wl_display_get_fd(display), POLLIN, 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) {
      wl_display_cancel_read(display);
      ok = false;
      break;
    }
    if (wl_display_read_events(display) < 0 || wl_display_dispatch_pending(display) < 0) ok = false;
  }
  wl_callback_destroy(callback);
  return ok && done;
}

wl_display* connectTo(const std::string& display) {
  // A name other than a path is a socket in the runtime folder; without one, libwayland would only say so
  // on standard error, into the output of the program.
  const std::string name = display.empty() ? environment("WAYLAND_DISPLAY") : display;
  if ((name.empty() || name.front() != '/') && environment("XDG_RUNTIME_DIR").empty()) return nullptr;
  return wl_display_connect(display.empty() ? nullptr : display.c_str());
}

}  // namespace

std::vector<std::string> applicationFolders() {
  std::vector<std::string> folders;
  std::string home = environment("XDG_DATA_HOME");
  if (home.empty() && !environment("HOME").empty()) home = environment("HOME") + "/.local/share";
  if (!home.empty()) folders.push_back(home + "/applications");
  std::string dirs = environment("XDG_DATA_DIRS");
  if (dirs.empty()) dirs = "/usr/local/share:/usr/share";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const auto colon = std::min(dirs.find(':', start), dirs.size());
    if (colon > start) folders.push_back(dirs.substr(start, colon - start) + "/applications");
    start = colon + 1;
  }
  return folders;
}

std::vector<ApplicationEntry> readApplicationEntries(const std::vector<std::string>& folders) {
  std::vector<ApplicationEntry> entries;
  std::set<std::string> seen;  // an id found in an earlier folder hides the later ones
  for (const auto& folder : folders) {
    forEachEntryFile(folder, [&](const std::string& file, const std::string& id) {
      if (!seen.insert(id).second) return false;
      auto entry = readDesktopEntryFile(file);
      if (!entry.problems.empty() || entry.hidden || !entry.exec || entry.exec->empty()) return false;
      entries.push_back({entry.exec->front(), id, entry.startupWmClass});
      return false;
    });
  }
  return entries;
}

std::vector<std::string> appIdsAmong(const std::string& executable, const std::vector<ApplicationEntry>& entries) {
  // The program's own name, and that of the file it links to (an alternative, a versioned name).
  std::vector<std::string> names{fs::path(executable).filename().string()};
  const auto target = fs::path(canonicalOf(executable)).filename().string();
  if (target != names.front()) names.push_back(target);

  const auto found = std::find_if(entries.begin(), entries.end(), [&](const ApplicationEntry& entry) {
    return execRuns(entry.execProgram, executable, names);
  });
  if (found == entries.end()) return names;
  std::vector<std::string> ids;
  if (!found->startupWmClass.empty())
    ids.push_back(found->startupWmClass);
  else
    ids = names;
  ids.push_back(found->id);
  return ids;
}

std::vector<std::string> appIdsOfProgram(const std::string& executable, const std::vector<std::string>& folders) {
  return appIdsAmong(executable, readApplicationEntries(folders));
}

bool offersForeignToplevels(const std::string& display, std::chrono::milliseconds timeout) {
  wl_display* connection = connectTo(display);
  if (!connection) return false;
  bool offered = false;
  static const wl_registry_listener listener = {
      [](void* data, wl_registry*, std::uint32_t, const char* interface, std::uint32_t) {
        if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0)
          *static_cast<bool*>(data) = true;
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(connection);
  if (registry) {
    wl_registry_add_listener(registry, &listener, &offered);
    if (!roundtrip(connection, std::chrono::steady_clock::now() + timeout)) offered = false;
    wl_registry_destroy(registry);
  }
  wl_display_disconnect(connection);
  return offered;
}

// One toplevel: its state as the last done event completed it, and what arrives until the next.
struct WlrToplevels::Entry {
  WlrToplevels* owner = nullptr;
  zwlr_foreign_toplevel_handle_v1* handle = nullptr;
  std::chrono::steady_clock::time_point appeared;
  bool complete = false;  // a done event has arrived
  bool claimed = false;
  Toplevel shown;
  Toplevel pending;
};

// The event handlers, which run on the reader thread and take the lock for what they change.
struct WlrToplevels::Listeners {
  static WlrToplevels::Entry& entry(void* data) { return *static_cast<WlrToplevels::Entry*>(data); }

  static void title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
  static void appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
    auto& e = entry(data);
    const std::lock_guard lock(e.owner->m_mutex);
    e.pending.appId = appId ? appId : "";
  }
  static void output(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
  static void state(void*, zwlr_foreign_toplevel_handle_v1*, wl_array*) {}
  static void done(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto& e = entry(data);
    const std::lock_guard lock(e.owner->m_mutex);
    e.shown = e.pending;
    e.complete = true;
    if (!e.claimed) e.owner->claim(e);
  }
  static void closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
    auto& e = entry(data);
    WlrToplevels& owner = *e.owner;
    const std::lock_guard lock(owner.m_mutex);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    owner.m_toplevels.erase(e.shown.serial);
  }
  static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

  static constexpr zwlr_foreign_toplevel_handle_v1_listener kHandle = {title, appId, output, output,
                                                                       state, done,  closed, parent};

  static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle) {
    auto& owner = *static_cast<WlrToplevels*>(data);
    const std::lock_guard lock(owner.m_mutex);
    auto e = std::make_unique<Entry>();
    e->owner = &owner;
    e->handle = handle;
    e->appeared = std::chrono::steady_clock::now();
    e->shown.serial = e->pending.serial = owner.m_nextSerial++;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandle, e.get());
    owner.m_toplevels.emplace(e->shown.serial, std::move(e));
  }
  static void finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
    auto& owner = *static_cast<WlrToplevels*>(data);
    const std::lock_guard lock(owner.m_mutex);
    zwlr_foreign_toplevel_manager_v1_destroy(manager);
    owner.m_manager = nullptr;
  }
  static constexpr zwlr_foreign_toplevel_manager_v1_listener kManager = {toplevel, finished};

  static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                     std::uint32_t version) {
    auto& owner = *static_cast<WlrToplevels*>(data);
    const std::lock_guard lock(owner.m_mutex);
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 && !owner.m_manager) {
      owner.m_version = std::min(version, kMaxVersion);
      owner.m_manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
          wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, owner.m_version));
      if (owner.m_manager) zwlr_foreign_toplevel_manager_v1_add_listener(owner.m_manager, &kManager, &owner);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !owner.m_seat) {
      owner.m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
  }
  static void globalRemove(void*, wl_registry*, std::uint32_t) {}
  static constexpr wl_registry_listener kRegistry = {global, globalRemove};
};

std::shared_ptr<WlrToplevels> WlrToplevels::connect(const std::string& display, std::chrono::milliseconds timeout) {
  std::shared_ptr<WlrToplevels> toplevels(new WlrToplevels);
  if (!toplevels->setUp(display, timeout)) return nullptr;
  return toplevels;
}

bool WlrToplevels::setUp(const std::string& display, std::chrono::milliseconds timeout) {
  // Without its wake-up the reader thread could not be ended.
  if (m_stop.fd() < 0) return false;
  m_display = connectTo(display);
  if (!m_display) return false;
  m_registry = wl_display_get_registry(m_display);
  if (!m_registry) return false;
  wl_registry_add_listener(m_registry, &Listeners::kRegistry, this);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // The first round trip brings the globals, the second the toplevels that are open.
  if (!roundtrip(m_display, deadline) || !m_manager || !roundtrip(m_display, deadline)) return false;
  m_reader = signalFreeThread([this] { run(); });
  return true;
}

WlrToplevels::~WlrToplevels() {
  if (m_reader.joinable()) {
    m_stop.signal();
    m_reader.join();
  }
  for (auto& [serial, entry] : m_toplevels) zwlr_foreign_toplevel_handle_v1_destroy(entry->handle);
  m_toplevels.clear();
  if (m_manager) zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
  if (m_seat) wl_seat_destroy(m_seat);
  if (m_registry) wl_registry_destroy(m_registry);
  if (m_display) wl_display_disconnect(m_display);
}

void WlrToplevels::run() {
  bool ok = true;
  while (ok) {
    while (wl_display_prepare_read(m_display) != 0) {
      if (wl_display_dispatch_pending(m_display) < 0) {
        ok = false;
        break;
      }
    }
    if (!ok) break;
    // A full buffer is written when the socket has room again; the requests of the controls flush too.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
      wl_display_cancel_read(m_display);
      break;
    }
    pollfd fds[2] = {{wl_display_get_fd(m_display), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) {
      wl_display_cancel_read(m_display);
      break;
    }
    if (fds[1].revents & POLLIN) {
      wl_display_cancel_read(m_display);
      return;
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ok = wl_display_read_events(m_display) == 0 && wl_display_dispatch_pending(m_display) >= 0;
    } else {
      wl_display_cancel_read(m_display);
    }
  }
  const std::lock_guard lock(m_mutex);
  m_connected = false;
}

void WlrToplevels::claim(Entry& entry) {
  const auto id = lowered(entry.shown.appId);
  for (auto& start : m_starts) {
    if (start.window || start.moment > entry.appeared) continue;
    for (const auto& appId : start.appIds) {
      if (lowered(appId) != id) continue;
      start.window = entry.shown.serial;
      entry.claimed = true;
      return;
    }
  }
}

void WlrToplevels::registerStart(int pid, std::vector<std::string> appIds,
                                 std::chrono::steady_clock::time_point moment) {
  const std::lock_guard lock(m_mutex);
  std::erase_if(m_starts, [pid](const Start& start) { return start.pid == pid; });
  if (m_starts.size() >= kMaxStarts) m_starts.pop_front();
  m_starts.push_back({pid, std::move(appIds), moment, std::nullopt});
  // A window that appeared between the moment and now was not offered to this start yet.
  for (auto& [serial, entry] : m_toplevels) {
    if (entry->complete && !entry->claimed) claim(*entry);
    if (m_starts.back().window) break;
  }
}

std::vector<std::string> WlrToplevels::appIdsOf(const std::string& executable) {
  std::call_once(m_entriesRead, [this] { m_entries = readApplicationEntries(applicationFolders()); });
  return appIdsAmong(executable, m_entries);
}

WlrToplevels::Entry* WlrToplevels::windowEntry(int pid) {
  for (auto it = m_starts.rbegin(); it != m_starts.rend(); ++it) {
    if (it->pid != pid) continue;
    if (!it->window) return nullptr;
    const auto found = m_toplevels.find(*it->window);
    return found == m_toplevels.end() ? nullptr : found->second.get();
  }
  return nullptr;
}

std::optional<WlrToplevels::Toplevel> WlrToplevels::windowOf(int pid) {
  const std::lock_guard lock(m_mutex);
  const auto* entry = windowEntry(pid);
  if (!entry || !m_connected) return std::nullopt;
  return entry->shown;
}

bool WlrToplevels::send(int pid, const std::vector<Request>& requests) {
  {
    const std::lock_guard lock(m_mutex);
    auto* entry = windowEntry(pid);
    if (!entry || !m_connected) return false;
    for (const auto request : requests) {
      switch (request) {
        case Request::Close:
          zwlr_foreign_toplevel_handle_v1_close(entry->handle);
          break;
        case Request::Minimize:
          zwlr_foreign_toplevel_handle_v1_set_minimized(entry->handle);
          break;
        case Request::Unminimize:
          zwlr_foreign_toplevel_handle_v1_unset_minimized(entry->handle);
          break;
        case Request::Maximize:
          zwlr_foreign_toplevel_handle_v1_set_maximized(entry->handle);
          break;
        case Request::Unmaximize:
          zwlr_foreign_toplevel_handle_v1_unset_maximized(entry->handle);
          break;
        case Request::Unfullscreen:
          if (m_version >= ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_UNSET_FULLSCREEN_SINCE_VERSION)
            zwlr_foreign_toplevel_handle_v1_unset_fullscreen(entry->handle);
          break;
        case Request::Activate:
          if (!m_seat) return false;
          zwlr_foreign_toplevel_handle_v1_activate(entry->handle, m_seat);
          break;
      }
    }
  }
  return wl_display_flush(m_display) >= 0 || errno == EAGAIN;
}

bool WlrWindows::hasWindow(int pid) { return m_toplevels && m_toplevels->windowOf(pid).has_value(); }

bool WlrWindows::postCommand(int pid, WindowCommand command) {
  if (!m_toplevels) return false;
  using Request = WlrToplevels::Request;
  switch (command) {
    case WindowCommand::Close:
      return m_toplevels->send(pid, {Request::Close});
    case WindowCommand::Minimize:
      return m_toplevels->send(pid, {Request::Minimize});
    case WindowCommand::Maximize:
      return m_toplevels->send(pid, {Request::Maximize});
    case WindowCommand::Restore:
      return m_toplevels->send(pid, {Request::Unminimize, Request::Unmaximize, Request::Unfullscreen});
    case WindowCommand::Default:
      return m_toplevels->send(pid, {Request::Activate});
  }
  return false;
}

bool WlrWindows::applyShowState(int pid, ShowState state) {
  if (!hasWindow(pid)) return false;
  switch (state) {
    case ShowState::Minimized:
      m_toplevels->send(pid, {WlrToplevels::Request::Minimize});
      break;
    case ShowState::Maximized:
      m_toplevels->send(pid, {WlrToplevels::Request::Maximize});
      break;
    case ShowState::Normal:
      break;
  }
  return true;
}

}  // namespace kip
