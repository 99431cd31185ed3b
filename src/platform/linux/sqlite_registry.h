#pragma once

#include <memory>
#include <string>

#include "platform/registry.h"

namespace kip {

class SqliteHive;

// The emulated registry: each hive is one SQLite database file, opened at first use and created by the
// first write. Several processes may use a hive at once (WAL, a busy time-out of five seconds); every write
// outside a batch, and every batch, is one transaction. One thread at a time.
class SqliteRegistry final : public Registry {
 public:
  SqliteRegistry(std::string userHivePath, std::string machineHivePath);
  ~SqliteRegistry() override;

  // The hives named by KIPLAUNCH_USER_HIVE and KIPLAUNCH_MACHINE_HIVE, else the default paths.
  static std::unique_ptr<SqliteRegistry> fromEnvironment();

  RegCode openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) override;
  RegCode createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) override;
  RegCode deleteTree(Hive hive, std::string_view path) override;
  RegCode moveKey(Hive hive, std::string_view from, std::string_view to) override;
  RegCode beginBatch(Hive hive) override;
  RegCode endBatch(Hive hive, bool commit) override;
  RegCode holdBatch(Hive hive) override;
  [[nodiscard]] std::string hiveProblem(Hive hive) const override;
  void setLockWait(Hive hive, std::optional<std::uint32_t> waitMs) override;

  [[nodiscard]] const std::string& hivePath(Hive hive) const;

 private:
  [[nodiscard]] const std::shared_ptr<SqliteHive>& file(Hive hive) const;

  // Shared with the open keys, which may outlive the registry.
  std::shared_ptr<SqliteHive> m_hives[2];
};

// $KIPLAUNCH_USER_HIVE, else $XDG_CONFIG_HOME/kiplaunch/user.db (default ~/.config/kiplaunch/user.db).
std::string userHivePath();
// $KIPLAUNCH_MACHINE_HIVE, else <localstatedir>/lib/kiplaunch/machine.db.
std::string machineHivePath();

}  // namespace kip
