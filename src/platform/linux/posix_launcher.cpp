#include "platform/linux/posix_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>

#include "platform/linux/command_line_split.h"
#include "platform/linux/hyprland_windows.h"
#include "platform/linux/kwin_windows.h"
#include "platform/linux/polled_show_state_watcher.h"
#include "platform/linux/sway_windows.h"
#include "platform/linux/wlr_windows.h"
#include "platform/linux/x11_show_state_watcher.h"
#include "platform/linux/x11_windows.h"

extern char** environ;

namespace kip {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char cwd[PATH_MAX];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

// How often the window list is looked at while waiting for a first window without its events.
constexpr int kIdleRecheckMs = 250;

// How often a window interface without notice of new windows is asked during an idle wait.
constexpr int kIdlePollMs = 100;

// A started program, with the display connection of the launcher (or the factory of the session's
// window control) for its idle wait.
class PosixProcess final : public LaunchedProcess {
 public:
  PosixProcess(std::shared_ptr<SpawnedChild> child, std::shared_ptr<X11Windows> windows,
               std::function<std::unique_ptr<WindowControl>()> makeControl)
      : m_child(std::move(child)), m_windows(std::move(windows)), m_makeControl(std::move(makeControl)) {}

  [[nodiscard]] int pid() const override { return m_child->pid(); }

  bool exitCode(std::int32_t& code) override {
    const auto exit = m_child->exitCode();
    code = exit ? *exit : 259;
    return true;
  }

  bool waitForExit(std::uint32_t limitMs) override { return m_child->waitForExit(limitMs); }

  bool waitForInputIdle(std::uint32_t limitMs) override {
    if (m_makeControl) return waitForWindowPolled(limitMs);
    if (!m_windows || !m_windows->connect()) return m_child->waitForExit(limitMs);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    m_windows->watchClientList(true);
    bool done = false;
    for (;;) {
      if (m_child->reap() || m_windows->firstClientOf(m_child->pid())) {
        done = true;
        break;
      }
      const auto now = Clock::now();
      if (now >= deadline) break;
      if (m_windows->drainEvents()) continue;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
      int timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
      if (m_child->pidfd() < 0) timeout = std::min(timeout, kIdleRecheckMs);
      pollfd fds[2] = {{m_child->pidfd(), POLLIN, 0}, {m_windows->connectionFd(), POLLIN, 0}};
      if (poll(fds, 2, timeout) > 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
        // The display went away: only the end of the program can end the wait now.
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return m_child->waitForExit(static_cast<std::uint32_t>(std::max<long long>(rest, 0)));
      }
      m_windows->drainEvents();
    }
    m_windows->watchClientList(false);
    return done;
  }

 private:
  bool waitForWindowPolled(std::uint32_t limitMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    const auto control = m_makeControl();
    for (;;) {
      if (m_child->reap() || control->hasWindow(m_child->pid())) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd end{m_child->pidfd(), POLLIN, 0};
      poll(&end, 1, static_cast<int>(std::min<long long>(left, kIdlePollMs)));
    }
  }

  std::shared_ptr<SpawnedChild> m_child;
  std::shared_ptr<X11Windows> m_windows;
  std::function<std::unique_ptr<WindowControl>()> m_makeControl;
};

SpawnOutcome failure(int error) {
  SpawnOutcome outcome;
  outcome.error = error;
  outcome.message = std::strerror(error);
  return outcome;
}

}  // namespace

PosixLauncher::Options PosixLauncher::optionsFromEnvironment() {
  Options options;
  if (const char* opener = std::getenv("KIPLAUNCH_OPENER"); opener && *opener) options.opener = opener;
  options.dosDevices = DosDevices::fromEnvironment().folder();
  const auto session = SessionFacts::fromEnvironment();
  options.display = session.display;
  options.desktop = windowDesktopOf(session);
  options.swaySocket = session.swaySocket;
  options.hyprlandSocket = session.hyprlandSocket;
  options.waylandDisplay = session.waylandDisplay;
  return options;
}

PosixLauncher::PosixLauncher(Options options)
    : m_options(std::move(options)),
      m_drives(m_options.dosDevices),
      m_windows(std::make_shared<X11Windows>(m_options.display)),
      m_watcher(std::make_unique<X11ShowStateWatcher>(m_options.display, m_options.showStateWatch)) {
  const auto desktop = m_options.desktop;
  // The toplevels' handles live as long as the connection: one for the launcher's life.
  if (desktop == WindowDesktop::Wlr) m_toplevels = WlrToplevels::connect(m_options.waylandDisplay);
  if (desktop == WindowDesktop::Sway || desktop == WindowDesktop::KWin || desktop == WindowDesktop::Hyprland ||
      desktop == WindowDesktop::Wlr) {
    m_makeControl = [desktop, swaySocket = m_options.swaySocket, hyprlandSocket = m_options.hyprlandSocket,
                     display = m_options.display, toplevels = m_toplevels]() -> std::unique_ptr<WindowControl> {
      std::vector<std::unique_ptr<WindowControl>> links;
      if (desktop == WindowDesktop::Sway)
        links.push_back(std::make_unique<SwayWindows>(swaySocket));
      else if (desktop == WindowDesktop::Hyprland)
        links.push_back(std::make_unique<HyprlandWindows>(hyprlandSocket));
      else if (desktop == WindowDesktop::KWin)
        links.push_back(std::make_unique<KWinWindows>());
      else if (toplevels)
        links.push_back(std::make_unique<WlrWindows>(toplevels));
      if (!display.empty()) links.push_back(std::make_unique<X11WindowControl>(display));
      return std::make_unique<ChainedWindowControl>(std::move(links));
    };
    m_polledWatcher = std::make_unique<PolledShowStateWatcher>(m_makeControl, m_options.showStateWatch);
  }
}

PosixLauncher::~PosixLauncher() = default;

std::size_t PosixLauncher::pendingShowStates() const {
  return m_watcher->pending() + (m_polledWatcher ? m_polledWatcher->pending() : 0);
}

void PosixLauncher::finishShowStates() const {
  // Every entry leaves at its own limit at the latest; the margin covers the watcher's last look.
  const auto deadline = std::chrono::steady_clock::now() + m_options.showStateWatch + std::chrono::seconds(1);
  while (pendingShowStates() > 0 && std::chrono::steady_clock::now() < deadline) poll(nullptr, 0, kIdlePollMs);
}

std::optional<std::string> PosixLauncher::resolveExecutable(std::string_view program) const {
  if (program.empty()) return std::nullopt;
  std::string path(program);
  if (isDrivePath(program)) {
    auto mapped = m_drives.map(program);
    if (!mapped) return std::nullopt;
    path = std::move(*mapped);
  }
  if (path.find('/') != std::string::npos) {
    if (isExecutableFile(path)) return absolutePath(path);
    return std::nullopt;
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view dirs = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    const auto colon = dirs.find(':');
    const auto dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view{} : dirs.substr(colon + 1);
    // An empty entry would mean the current folder, which a start never searches.
    if (dir.empty()) continue;
    std::string full = std::string(dir) + "/" + path;
    if (isExecutableFile(full)) return full;
  }
  return std::nullopt;
}

PosixLauncher::Spawned PosixLauncher::spawnArgv(const std::string& path, const std::vector<std::string>& argv,
                                                const std::string& directory) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // Nothing of this program is handed on: no input, no open files beyond the output, no signal state.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigfillset(&defaults);
  sigdelset(&defaults, SIGKILL);
  sigdelset(&defaults, SIGSTOP);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, path.c_str(), &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);

  Spawned spawned;
  if (rc != 0) {
    spawned.error = rc;
    return spawned;
  }
  spawned.child = std::make_shared<SpawnedChild>(pid);
  m_reaper.adopt(spawned.child);
  return spawned;
}

std::variant<PosixLauncher::Prepared, SpawnOutcome> PosixLauncher::prepare(const LaunchRequest& request) const {
  const auto split =
      splitCommandLine(request.commandText, [this](std::string_view program) { return resolveExecutable(program); });
  if (split.program.empty()) return failure(ENOENT);

  Prepared prepared;
  if (split.resolved) {
    prepared.path = *split.resolved;
  } else if (isDrivePath(split.program)) {
    auto mapped = m_drives.map(split.program);
    if (!mapped) return failure(ENOENT);
    prepared.path = std::move(*mapped);
  } else {
    prepared.path = split.program;
  }

  prepared.directory = request.workingDirectory;
  if (isDrivePath(prepared.directory)) {
    auto mapped = m_drives.map(prepared.directory);
    if (!mapped) return failure(ENOENT);
    prepared.directory = std::move(*mapped);
  }

  prepared.argv.reserve(split.arguments.size() + 1);
  // A bare name keeps its name as argv[0]; anything given as a path is named by the file run.
  const bool bareName = split.program.find('/') == std::string::npos && !isDrivePath(split.program);
  prepared.argv.push_back(bareName ? split.program : prepared.path);
  prepared.argv.insert(prepared.argv.end(), split.arguments.begin(), split.arguments.end());
  prepared.show = request.show;
  return prepared;
}

PosixLauncher::Spawned PosixLauncher::spawnPrepared(const Prepared& prepared) {
  // The compositor names no process: the start's window is found by the app ids it may carry, among the
  // toplevels that appear from the moment before the creation on.
  std::vector<std::string> appIds;
  if (m_toplevels) appIds = m_toplevels->appIdsOf(prepared.path);
  const auto moment = std::chrono::steady_clock::now();
  auto spawned = spawnArgv(prepared.path, prepared.argv, prepared.directory);
  if (spawned.child && m_toplevels) m_toplevels->registerStart(spawned.child->pid(), std::move(appIds), moment);
  if (spawned.child && m_polledWatcher) {
    m_polledWatcher->watch(spawned.child, prepared.show);
  } else if (spawned.child) {
    m_watcher->watch(spawned.child, prepared.show);
  }
  return spawned;
}

SpawnOutcome PosixLauncher::outcomeOf(const Spawned& spawned) const {
  if (!spawned.child) return failure(spawned.error);
  SpawnOutcome outcome;
  outcome.process = std::make_unique<PosixProcess>(spawned.child, m_windows, m_makeControl);
  return outcome;
}

SpawnOutcome PosixLauncher::spawn(const LaunchRequest& request) {
  auto prepared = prepare(request);
  if (auto* failed = std::get_if<SpawnOutcome>(&prepared)) return std::move(*failed);
  return outcomeOf(spawnPrepared(std::get<Prepared>(prepared)));
}

namespace {

// A creation running on the spawn pool.
class PooledSpawn final : public PendingSpawn {
 public:
  explicit PooledSpawn(std::future<SpawnOutcome> future) : m_future(std::move(future)) {}
  SpawnOutcome outcome() override { return m_future.get(); }

 private:
  std::future<SpawnOutcome> m_future;
};

}  // namespace

std::unique_ptr<PendingSpawn> PosixLauncher::spawnAsync(const LaunchRequest& request) {
  auto prepared = prepare(request);
  if (auto* failed = std::get_if<SpawnOutcome>(&prepared)) return completedSpawn(std::move(*failed));
  auto task = std::make_shared<std::packaged_task<SpawnOutcome()>>(
      [this, job = std::get<Prepared>(std::move(prepared))] { return outcomeOf(spawnPrepared(job)); });
  auto future = task->get_future();
  m_pool.post([task] { (*task)(); });
  return std::make_unique<PooledSpawn>(std::move(future));
}

bool PosixLauncher::shellOpen(const LaunchRequest& request) {
  if (request.commandText.find_first_not_of(" \t") == std::string::npos) return false;
  std::string directory = request.workingDirectory;
  if (isDrivePath(directory)) {
    auto mapped = m_drives.map(directory);
    if (!mapped) return false;
    directory = std::move(*mapped);
  }
  auto spawned = spawnArgv(m_options.opener, {m_options.opener, request.commandText}, directory);
  if (!spawned.child) return false;
  const auto limit = static_cast<std::uint32_t>(std::max<long long>(m_options.openerWait.count(), 0));
  if (!spawned.child->waitForExit(limit)) return true;
  const auto code = spawned.child->exitCode();
  return code && *code == 0;
}

bool PosixLauncher::postWindowCommand(const StartedProcess& process, WindowCommand command) {
  if (m_makeControl) return m_makeControl()->postCommand(process.pid(), command);
  return m_windows->postCommand(process.pid(), command);
}

}  // namespace kip
