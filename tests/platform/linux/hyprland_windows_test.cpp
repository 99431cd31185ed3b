#include "platform/linux/hyprland_windows.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "launcher_test_support.h"
#include "platform/linux/json_value.h"
#include "platform/linux/posix_launcher.h"
#include "platform/linux/process_tree.h"

namespace kip::test {
namespace {

// Hyprland's request socket as far as the window control uses it: the client list, the active workspace
// (3) and the dispatchers, carried out on windows of its own.
class FakeHyprland {
 public:
  struct Window {
    std::string address;
    int pid;
    std::string workspace = "1";
    bool fullscreen = false;
  };

  explicit FakeHyprland(std::string path) : m_path(std::move(path)) {
    m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_path.c_str(), sizeof address.sun_path - 1);
    bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    listen(m_listener, 8);
    m_thread = std::thread([this] { serve(); });
  }
  ~FakeHyprland() {
    m_stop = true;
    m_thread.join();
    close(m_listener);
  }

  void show(int pid) {
    std::lock_guard lock(m_mutex);
    m_windows.push_back({"0x" + std::to_string(1000 + m_windows.size()), pid});
  }
  std::optional<Window> windowOf(int pid) {
    std::lock_guard lock(m_mutex);
    for (const auto& window : m_windows)
      if (window.pid == pid) return window;
    return std::nullopt;
  }

 private:
  void serve() {
    while (!m_stop) {
      pollfd ready{m_listener, POLLIN, 0};
      if (poll(&ready, 1, 50) != 1) continue;
      const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      char buffer[8192];
      const ssize_t got = recv(client, buffer, sizeof buffer, 0);
      const std::string reply = answer(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0));
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
    }
  }

  std::string answer(std::string request) {
    std::lock_guard lock(m_mutex);
    if (request == "j/activeworkspace") return R"({"id": 3, "name": "3"})";
    if (request == "j/clients") {
      std::string list = "[";
      for (const auto& w : m_windows)
        list += (list.size() > 1 ? "," : "") + std::string(R"({"address":")") + w.address +
                R"(","mapped":true,"pid":)" + std::to_string(w.pid) + R"(,"class":"x","workspace":{"id":1,"name":")" +
                w.workspace + R"("},"fullscreen":)" + (w.fullscreen ? "1" : "0") + "}";
      return list + "]";
    }
    const bool batch = request.rfind("[[BATCH]]", 0) == 0;
    if (batch) request.erase(0, 9);
    std::string replies;
    for (std::size_t start = 0; start <= request.size();) {
      const auto end = std::min(request.find(';', start), request.size());
      if (!replies.empty()) replies += "\n\n\n";
      replies += dispatch(request.substr(start, end - start));
      start = end + 1;
    }
    return replies;
  }

  std::string dispatch(const std::string& command) {
    const auto target = [&]() -> Window* {
      const auto at = command.find("address:");
      for (auto& w : m_windows)
        if (at != std::string::npos && command.substr(at + 8) == w.address) return &w;
      return nullptr;
    };
    Window* window = target();
    if (command == "dispatch fullscreen 1") {
      for (auto& w : m_windows)
        if (w.address == m_focused) w.fullscreen = !w.fullscreen;
      return "ok";
    }
    if (!window) return "No such window";
    if (command.rfind("dispatch closewindow ", 0) == 0) {
      std::erase_if(m_windows, [&](const Window& w) { return w.address == window->address; });
    } else if (command.rfind("dispatch focuswindow ", 0) == 0) {
      m_focused = window->address;
    } else if (command.rfind("dispatch movetoworkspacesilent ", 0) == 0) {
      window->workspace = command.substr(31, command.find(',') - 31);
    } else {
      return "Invalid dispatcher";
    }
    return "ok";
  }

  std::string m_path;
  int m_listener = -1;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<Window> m_windows;
  std::string m_focused;
  std::thread m_thread;
};

TEST(HyprlandWindowsTest, ClientListsOfOldAndNewHyprlandAreRead) {
  const auto clients = JsonValue::parse(R"([
    {"address":"0x1","mapped":true,"pid":10,"class":"foot","workspace":{"id":1,"name":"1"},"fullscreen":false},
    {"address":"0x2","mapped":false,"pid":11,"workspace":{"id":1,"name":"1"}},
    {"address":"0x3","mapped":true,"pid":12,"workspace":{"id":-98,"name":"special:minimized"},"fullscreen":1},
    {"address":"0x4","mapped":true,"pid":-1},
    {"address":"0x5","mapped":true,"pid":13,"workspace":{"id":2,"name":"2"},"fullscreen":true}])");
  ASSERT_TRUE(clients);
  const auto windows = HyprlandWindows::windowsOfClients(*clients);
  ASSERT_EQ(windows.size(), 3U);
  EXPECT_EQ(windows[0].appClass, "foot");
  EXPECT_FALSE(windows[0].fullscreen);
  EXPECT_EQ(windows[1].workspace, "special:minimized");
  EXPECT_TRUE(windows[1].fullscreen);
  EXPECT_TRUE(windows[2].fullscreen);
  // A window out of sight comes back to the active workspace before it is maximised or activated.
  EXPECT_EQ(HyprlandWindows::requestText(windows[1], WindowCommand::Default, "4"),
            "[[BATCH]]dispatch movetoworkspacesilent 4,address:0x3;dispatch focuswindow address:0x3");
  EXPECT_EQ(HyprlandWindows::requestText(windows[1], WindowCommand::Minimize, "4"), "");

  TempFolder temp;
  writeFile(temp / "run/hypr/sig/.socket.sock", "");
  EXPECT_EQ(HyprlandWindows::socketPathOf("sig", temp / "run"), temp / "run/hypr/sig/.socket.sock");
  EXPECT_EQ(HyprlandWindows::socketPathOf("other", temp / "run"), temp / "run/hypr/other/.socket.sock");
  EXPECT_EQ(HyprlandWindows::socketPathOf("../sig", temp / "run"), "");
}

TEST(HyprlandWindowsTest, CommandsActOnTheFirstWindowOfTheProcessOrOfItsChild) {
  TempFolder temp;
  FakeHyprland hyprland(temp / "socket");
  HyprlandWindows windows(temp / "socket");
  ProcessKiller killer;
  const auto [started, child] = startShellWithChild(killer);
  ASSERT_GT(child, 0);
  EXPECT_FALSE(windows.hasWindow(started));
  hyprland.show(getpid());
  hyprland.show(child);
  EXPECT_TRUE(windows.hasWindow(started));

  EXPECT_TRUE(windows.postCommand(started, WindowCommand::Minimize));
  EXPECT_EQ(hyprland.windowOf(child)->workspace, "special:minimized");
  EXPECT_TRUE(windows.postCommand(started, WindowCommand::Maximize));
  EXPECT_EQ(hyprland.windowOf(child)->workspace, "3");
  EXPECT_TRUE(hyprland.windowOf(child)->fullscreen);
  EXPECT_TRUE(windows.postCommand(started, WindowCommand::Restore));
  EXPECT_FALSE(hyprland.windowOf(child)->fullscreen);
  EXPECT_TRUE(windows.postCommand(started, WindowCommand::Default));
  EXPECT_TRUE(windows.postCommand(started, WindowCommand::Close));
  EXPECT_FALSE(hyprland.windowOf(child));
  EXPECT_FALSE(windows.postCommand(started, WindowCommand::Close));
  // The test's own window was left alone throughout.
  EXPECT_EQ(hyprland.windowOf(getpid())->workspace, "1");
  EXPECT_FALSE(HyprlandWindows(temp / "none").postCommand(getpid(), WindowCommand::Close));
}

TEST(HyprlandWindowsTest, LauncherInAHyprlandSessionWaitsForTheWindowAndAppliesTheStartState) {
  TempFolder temp;
  FakeHyprland hyprland(temp / "socket");
  ProcessKiller killer;
  PosixLauncher::Options options;
  options.desktop = WindowDesktop::Hyprland;
  options.hyprlandSocket = temp / "socket";
  options.dosDevices = temp / "dosdevices";
  PosixLauncher launcher(options);
  auto outcome = launcher.spawn({"sleep 30", {}, ShowState::Minimized});
  ASSERT_NE(outcome.process, nullptr);
  killer.add(outcome.process->pid());
  std::thread shows([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    hyprland.show(outcome.process->pid());
  });
  EXPECT_TRUE(outcome.process->waitForInputIdle(20000));
  shows.join();
  EXPECT_TRUE(eventually([&] { return launcher.pendingShowStates() == 0; }));
  EXPECT_EQ(hyprland.windowOf(outcome.process->pid())->workspace, "special:minimized");
  EXPECT_TRUE(launcher.postWindowCommand(*outcome.process, WindowCommand::Restore));
  EXPECT_EQ(hyprland.windowOf(outcome.process->pid())->workspace, "3");
}

}  // namespace
}  // namespace kip::test
