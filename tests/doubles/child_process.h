#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kip::test {

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

struct ChildResult {
  int exitCode = -1;      // -1 when it was killed by a signal or timed out
  int signal = 0;         // the signal that ended it, 0 when it exited
  bool timedOut = false;  // killed because it ran past the limit
  std::string out;
  std::string err;
};

// A program started by a test, with its own environment and captured output.
class ChildProcess {
 public:
  ChildProcess(std::string program, std::vector<std::string> args, EnvChanges env = {}, std::string input = {},
               std::optional<uid_t> runAsUid = std::nullopt);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  [[nodiscard]] bool started() const { return m_pid > 0; }
  [[nodiscard]] int pid() const { return m_pid; }
  // True while the child has not ended.
  bool running();
  void signal(int sig);
  // Waits for the end for at most limit, then kills the child; collects the output.
  ChildResult wait(std::chrono::milliseconds limit = std::chrono::seconds(20));

 private:
  int m_pid = -1;
  int m_outFd = -1;
  int m_errFd = -1;
  int m_status = 0;
  bool m_reaped = false;
};

// Runs a program to its end (at most limit) and returns what it did.
ChildResult runProgram(const std::string& program, const std::vector<std::string>& args, const EnvChanges& env = {},
                       const std::string& input = {}, std::chrono::milliseconds limit = std::chrono::seconds(20));

// Waits until a file exists, at most limit; false when it never appeared.
bool waitForFile(const std::string& path, std::chrono::milliseconds limit = std::chrono::seconds(10));

// A fresh folder under the system's temporary folder, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::string& path() const { return m_path; }
  [[nodiscard]] std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Copies program into folder (made 0755) so that the user uid can run it wherever the build lies; the path
// of the copy, or nullopt with the reason in why when that user cannot reach the folder either.
std::optional<std::string> copyForUser(const std::string& program, const std::string& folder, uid_t uid,
                                       std::string& why, const std::vector<std::string>& companions = {});

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace kip::test
