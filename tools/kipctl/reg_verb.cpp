#include <unistd.h>

#include <ostream>

#include "ctl/reg_command.h"
#include "platform/linux/sqlite_registry.h"
#include "verbs.h"

namespace kip::ctl {

int runReg(const std::vector<std::string>& args, Io& io) {
  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 1;
  }
  RegCommand command(*registry, RegConsole{io.in, io.out, io.err, ::isatty(STDIN_FILENO) == 1});
  return command.run(args);
}

}  // namespace kip::ctl
