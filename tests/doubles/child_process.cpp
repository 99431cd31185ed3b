#include "child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kip::test {

namespace {

void drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return;
  }
}

}  // namespace

ChildProcess::ChildProcess(std::string program, std::vector<std::string> args, EnvChanges env, std::string input,
                           std::optional<uid_t> runAsUid) {
  int out[2], err[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) return;
  const pid_t pid = fork();
  if (pid < 0) return;
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (const auto& [name, value] : env) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    if (runAsUid) {
      if (setgroups(0, nullptr) != 0 || setgid(*runAsUid) != 0 || setuid(*runAsUid) != 0) _exit(126);
    }
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execve(program.c_str(), argv.data(), environ);
    _exit(127);
  }
  m_pid = pid;
  close(out[1]);
  close(err[1]);
  close(in[0]);
  m_outFd = out[0];
  m_errFd = err[0];
  if (!input.empty()) {
    [[maybe_unused]] const auto written = write(in[1], input.data(), input.size());
  }
  close(in[1]);
  fcntl(m_outFd, F_SETFL, O_NONBLOCK);
  fcntl(m_errFd, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0 && !m_reaped) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &m_status, 0);
  }
  if (m_outFd >= 0) close(m_outFd);
  if (m_errFd >= 0) close(m_errFd);
}

bool ChildProcess::running() {
  if (m_pid <= 0 || m_reaped) return false;
  const pid_t r = waitpid(m_pid, &m_status, WNOHANG);
  if (r == m_pid) {
    m_reaped = true;
    return false;
  }
  return true;
}

void ChildProcess::signal(int sig) {
  if (m_pid > 0 && !m_reaped) kill(m_pid, sig);
}

ChildResult ChildProcess::wait(std::chrono::milliseconds limit) {
  ChildResult result;
  if (m_pid <= 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (running()) {
    drain(m_outFd, result.out);
    drain(m_errFd, result.err);
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &m_status, 0);
      m_reaped = true;
      result.timedOut = true;
      break;
    }
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    poll(fds, 2, 20);
  }
  drain(m_outFd, result.out);
  drain(m_errFd, result.err);
  if (!result.timedOut) {
    if (WIFEXITED(m_status)) result.exitCode = WEXITSTATUS(m_status);
    if (WIFSIGNALED(m_status)) result.signal = WTERMSIG(m_status);
  }
  return result;
}

ChildResult runProgram(const std::string& program, const std::vector<std::string>& args, const EnvChanges& env,
                       const std::string& input, std::chrono::milliseconds limit) {
  ChildProcess child(program, args, env, input);
  return child.wait(limit);
}

bool waitForFile(const std::string& path, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (access(path.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::optional<std::string> copyForUser(const std::string& program, const std::string& folder, uid_t uid,
                                       std::string& why, const std::vector<std::string>& companions) {
  const std::string copy = folder + "/" + std::filesystem::path(program).filename().string();
  std::error_code ec;
  // Files the program loads from its own folder go with it.
  for (const auto& companion : companions) {
    const std::string beside = folder + "/" + std::filesystem::path(companion).filename().string();
    if (!ec) std::filesystem::copy_file(companion, beside, std::filesystem::copy_options::overwrite_existing, ec);
  }
  if (!ec) std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing, ec);
  if (ec || chmod(copy.c_str(), 0755) != 0 || chmod(folder.c_str(), 0755) != 0) {
    why = "cannot copy " + program + " to " + folder + ": " + ec.message();
    return std::nullopt;
  }
  // Ask as that user: every folder above the copy must let it through.
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(2);
    _exit(access(copy.c_str(), X_OK) == 0 ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    why = "user " + std::to_string(uid) + " cannot reach " + folder + " (a folder above it is closed to others)";
    return std::nullopt;
  }
  return copy;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kiptest-XXXXXX";
  if (mkdtemp(pattern.data())) m_path = pattern;
}

TempDir::~TempDir() {
  if (m_path.empty()) return;
  std::error_code ec;
  // Tests may leave folders without write permission behind; give it back before removing.
  for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec)) chmod(it->path().c_str(), 0700);
  chmod(m_path.c_str(), 0700);
  std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace kip::test
