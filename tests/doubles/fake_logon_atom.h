#pragma once

#include "platform/logon_atom.h"

namespace kip::test {

// A logon marker in memory: absent until added, unless the test says otherwise; adding may be made to fail.
class FakeLogonAtom final : public LogonAtom {
 public:
  explicit FakeLogonAtom(bool present = false) : present(present) {}

  bool exists() override;
  bool add() override;

  bool present;
  bool addFails = false;
  int existsCalls = 0;
  int addCalls = 0;
};

}  // namespace kip::test
