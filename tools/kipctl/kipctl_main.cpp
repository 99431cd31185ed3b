#include <iostream>
#include <string>
#include <vector>

#include "verbs.h"

namespace {

constexpr const char* kUsage =
    "usage: kipctl reg query|add|delete|export|import ...\n"
    "       kipctl test NAME [--global]\n"
    "       kipctl probe [--proxy HOST] [--port PORT] TEXT\n"
    "       kipctl plan [--global] [--at \"YYYY-MM-DD HH:MM\"] [--mains | --battery PERCENT] [--user NAME]\n"
    "                   [--config NAME] [--network | --no-network] [--dialup | --no-dialup]\n"
    "                   [--present RESOURCE]... [--absent RESOURCE]... [--json]\n"
    "       kipctl import-xdg [--global] [--dry-run] [--disable-originals] [--yes | --no]\n"
    "       kipctl export FILE|- [--global]\n"
    "       kipctl import FILE [--global] [--yes | --no]\n"
    "       kipctl autostart on | off | status\n"
    "       kipctl logon\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  kip::ctl::Io io{std::cin, std::cout, std::cerr};
  if (args.empty()) {
    std::cerr << kUsage;
    return 1;
  }
  const std::string verb = args.front();
  args.erase(args.begin());
  if (verb == "reg") return kip::ctl::runReg(args, io);
  if (verb == "test") return kip::ctl::runTest(args, io);
  if (verb == "probe") return kip::ctl::runProbe(args, io);
  if (verb == "export") return kip::ctl::runExport(args, io);
  if (verb == "import") return kip::ctl::runImport(args, io);
  if (verb == "plan") return kip::ctl::runPlan(args, io);
  if (verb == "import-xdg") return kip::ctl::runImportXdg(args, io);
  if (verb == "logon") return kip::ctl::runLogon(args, io);
  if (verb == "autostart") return kip::ctl::runAutostart(args, io);
  if (verb == "--help" || verb == "-h" || verb == "help") {
    std::cout << kUsage;
    return 0;
  }
  std::cerr << "kipctl: unknown verb \"" << verb << "\"\n" << kUsage;
  return 1;
}
