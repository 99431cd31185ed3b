#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/sqlite_hive.h"
#include "platform/registry.h"

namespace kip {

// An open key of a SQLite hive. Reads come from a copy of the key's values (taken when it was opened) and of
// its subkey names (taken at the first enumeration); the copy is taken again whenever this connection has
// written to the hive or seen another process's change since. Writes always go to the file and fail with
// 1018 once the key was deleted, by this process or another.
class SqliteKey final : public RegKey {
 public:
  SqliteKey(std::shared_ptr<SqliteHive> hive, SqliteHive::OpenedKey opened, bool writable);

  [[nodiscard]] bool writable() const override { return m_writable; }
  RegCode enumKey(std::uint32_t index, std::string& name) override;
  RegCode enumValue(std::uint32_t index, std::string& name, RegValue& value) override;
  RegCode queryValue(std::string_view name, std::uint32_t bufferSize, RegValue& value) override;
  RegCode setValue(std::string_view name, RegType type, std::span<const std::uint8_t> data) override;
  RegCode deleteValue(std::string_view name) override;

 private:
  RegCode currentValues();
  RegCode currentSubkeys();
  RegCode settle(RegCode code);
  std::vector<SqliteHive::Value>::iterator findValue(std::string_view fold);

  std::shared_ptr<SqliteHive> m_hive;
  std::int64_t m_id;
  bool m_writable;
  bool m_deleted = false;
  std::vector<SqliteHive::Value> m_values;
  std::optional<SqliteHive::Stamp> m_valuesStamp;
  std::vector<std::string> m_subkeys;
  std::optional<SqliteHive::Stamp> m_subkeysStamp;
};

}  // namespace kip
