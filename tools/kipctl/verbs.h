#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kip::ctl {

// Standard streams of one kipctl run.
struct Io {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// Each verb gets the arguments after its own name and returns the exit status.
int runReg(const std::vector<std::string>& args, Io& io);
int runTest(const std::vector<std::string>& args, Io& io);
int runProbe(const std::vector<std::string>& args, Io& io);
int runExport(const std::vector<std::string>& args, Io& io);
int runImport(const std::vector<std::string>& args, Io& io);
int runPlan(const std::vector<std::string>& args, Io& io);
int runImportXdg(const std::vector<std::string>& args, Io& io);
int runLogon(const std::vector<std::string>& args, Io& io);
int runAutostart(const std::vector<std::string>& args, Io& io);

}  // namespace kip::ctl
