#include <ostream>

#include "verbs.h"

namespace kip::ctl {

int runTest(const std::vector<std::string>&, Io& io) {
  io.err << "kipctl: not built yet\n";
  return 1;
}

}  // namespace kip::ctl
