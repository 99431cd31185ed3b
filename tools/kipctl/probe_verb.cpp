#include <ostream>

#include "conditions/host_probe_runner.h"
#include "conditions/network_probe.h"
#include "conditions/network_report.h"
#include "net/system_name_resolver.h"
#include "platform/linux/linux_network_services.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

constexpr const char* kProbeUsage = "usage: kipctl probe [--proxy HOST] [--port PORT] TEXT\n";

}  // namespace

// kipctl probe [--proxy HOST] [--port PORT] TEXT: the network probe on TEXT, as the options dialog's
// "Test now..." runs it. Prints the code and the dialog's report; exit 0 above 0, 1 below 0, 2 for 0.
int runProbe(const std::vector<std::string>& args, Io& io) {
  std::string proxy, port;
  std::vector<std::string> texts;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--proxy" || arg == "--port")) {
      if (i + 1 >= args.size()) {
        io.err << "kipctl probe: " << arg << " needs a value\n" << kProbeUsage;
        return 1;
      }
      (arg == "--proxy" ? proxy : port) = args[++i];
    } else if (!optionsEnded && arg.size() > 2 && arg.starts_with("--")) {
      io.err << "kipctl probe: unknown option \"" << arg << "\"\n" << kProbeUsage;
      return 1;
    } else {
      texts.push_back(arg);
    }
  }
  if (texts.size() != 1) {
    io.err << "kipctl probe: give exactly one TEXT (\"\" for the network logon test)\n" << kProbeUsage;
    return 1;
  }

  SystemNameResolver resolver;
  const auto services = LinuxNetworkServices::fromEnvironment(resolver);
  HostProbeRunner host(resolver);
  NetworkProbe probe(*services, host);
  const std::int32_t code = probe.probe(texts.front(), proxy, port);
  io.out << code << '\n' << networkTestReport(code, texts.front()) << '\n';
  return code > 0 ? 0 : code < 0 ? 1 : 2;
}

}  // namespace kip::ctl
