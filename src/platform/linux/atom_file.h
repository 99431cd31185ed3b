#pragma once

#include <string>

#include "platform/logon_atom.h"

namespace kip {

// The logon atom as the file "Kip Launcher.atom" in the runtime folder. In a folder that outlives the
// logon (the /tmp fallback) the file records the boot id, so that a reboot counts as a new logon.
class AtomFile final : public LogonAtom {
 public:
  AtomFile(std::string runtimeDir, bool recordBootId, std::string bootIdPath = "/proc/sys/kernel/random/boot_id");

  bool exists() override;
  bool add() override;

 private:
  std::string m_path;
  bool m_recordBootId;
  std::string m_bootIdPath;
};

}  // namespace kip
