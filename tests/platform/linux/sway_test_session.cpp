#include "sway_test_session.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "launcher_test_support.h"
#include "platform/linux/sway_windows.h"

namespace kip::test {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(20);

}  // namespace

std::unique_ptr<SwaySession> SwaySession::start(std::string& reason, bool protocolLog) {
  if (!onPath("sway")) {
    reason = "sway is not installed (tools/setup.sh installs it)";
    return nullptr;
  }
  std::unique_ptr<SwaySession> session(new SwaySession);
  session->m_user = SessionUser::make("sway", reason);
  if (!session->m_user) return nullptr;
  const std::string& runtimeDir = session->m_user->folder();
  const std::string config = runtimeDir + "/config";
  const std::string log = runtimeDir + "/log";
  std::ofstream(config) << "default_border none\nfocus_on_window_activation focus\n";
  chmod(config.c_str(), 0644);

  const char* path = std::getenv("PATH");
  const std::vector<std::string> env = {"PATH=" + std::string(path ? path : "/usr/bin:/bin"),
                                        "HOME=" + runtimeDir,
                                        "XDG_RUNTIME_DIR=" + runtimeDir,
                                        "WLR_BACKENDS=headless",
                                        "WLR_LIBINPUT_NO_DEVICES=1",
                                        "WLR_RENDERER=pixman",
                                        "WLR_HEADLESS_OUTPUTS=1",
                                        protocolLog ? "WAYLAND_DEBUG=server" : "WAYLAND_DEBUG="};
  session->m_sway = session->m_user->spawn({"sway", "--config", config}, env, log);
  if (session->m_sway <= 0) {
    reason = "sway could not be started";
    return nullptr;
  }

  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (waitpid(session->m_sway, nullptr, WNOHANG) == session->m_sway) {
      session->m_sway = -1;
      reason = "sway ended at its start:" + logTail(log);
      return nullptr;
    }
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir, ignored)) {
      const auto name = entry.path().filename().string();
      if (name.rfind("sway-ipc.", 0) == 0) session->m_ipcSocket = entry.path().string();
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos)
        session->m_waylandSocket = entry.path().string();
    }
    if (!session->m_ipcSocket.empty() && !session->m_waylandSocket.empty() &&
        SwayWindows(session->m_ipcSocket).runCommand("nop"))
      return session;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  reason = "sway did not answer on its IPC socket within 20 s:" + logTail(log);
  return nullptr;
}

SwaySession::~SwaySession() { endProcess(m_sway); }

}  // namespace kip::test
