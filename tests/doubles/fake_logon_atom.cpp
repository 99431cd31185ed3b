#include "fake_logon_atom.h"

namespace kip::test {

bool FakeLogonAtom::exists() {
  ++existsCalls;
  return present;
}

bool FakeLogonAtom::add() {
  ++addCalls;
  if (addFails) return false;
  present = true;
  return true;
}

}  // namespace kip::test
