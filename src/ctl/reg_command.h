#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ctl/reg_key_name.h"
#include "platform/registry.h"

namespace kip {

// The terminal of one kipctl run, as the reg verbs see it.
struct RegConsole {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // True when standard input is a terminal, so that a question can be answered.
  bool inputIsTerminal = false;
};

// "kipctl reg": query, add, delete, export and import in the manner of the Windows reg tool.
class RegCommand {
 public:
  RegCommand(Registry& registry, RegConsole console) : m_registry(registry), m_console(console) {}

  // Runs the operation named by args[0] with the rest as its arguments; returns the exit status
  // (0 done, 1 failed with one line on the error stream).
  int run(const std::vector<std::string>& args);

 private:
  struct Options;

  int query(const Options& options);
  int add(const Options& options);
  int remove(const Options& options);
  int exportKey(const Options& options);
  int importFile(const Options& options);

  // Asks question on the terminal; false, after one line saying why, when there is none (howToSkip tells
  // how to do the action without a question) or the answer is not yes (refused says what was not done).
  bool confirm(const std::string& question, const std::string& action, const std::string& howToSkip,
               const std::string& refused);
  int failure(const std::string& message);
  std::string describe(RegCode code, Hive hive) const;
  std::string missingKey(const RegKeyName& key) const;

  Registry& m_registry;
  RegConsole m_console;
};

}  // namespace kip
