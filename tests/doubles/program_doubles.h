#pragma once

#include "doubles/fake_launcher.h"
#include "doubles/fake_logon_atom.h"
#include "doubles/fake_probes.h"
#include "doubles/fixed_clock.h"
#include "doubles/memory_registry.h"
#include "doubles/scripted_prompts.h"

namespace kip::test {

// A double for every service the program's entry point hands to the engine and the window.
struct ProgramDoubles {
  MemoryRegistry registry;
  FakeSystemInfo system;
  FakeLogonAtom atom;
  ScriptedPrompts prompts;
  FixedClock clock;
  FakeNetworkServices network;
  FakeHostProbe host;
  FakeGroupMembership groups;
  FakeLauncher launcher;
};

}  // namespace kip::test
