#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kip::test {

// A registry held in memory, with the semantics of the real one, for unit tests.
class MemoryRegistry final : public Registry {
 public:
  struct Node;

  MemoryRegistry();
  ~MemoryRegistry() override;

  RegCode openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) override;
  RegCode createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) override;
  RegCode deleteTree(Hive hive, std::string_view path) override;
  RegCode moveKey(Hive hive, std::string_view from, std::string_view to) override;
  RegCode beginBatch(Hive hive) override;
  RegCode endBatch(Hive hive, bool commit) override;
  [[nodiscard]] std::string hiveProblem(Hive hive) const override;

  // Makes a hive refuse every write, as a hive file without write permission does.
  void setReadOnly(Hive hive, bool readOnly);
  // Makes createKey and openKey for writing fail with code for paths under prefix (case-insensitive).
  void failWritesUnder(Hive hive, std::string_view prefix, RegCode code = 5);
  // Counts setValue calls that succeeded, for tests of what a save writes.
  [[nodiscard]] int writeCount() const { return m_writes; }
  void countWrite() { ++m_writes; }

  // Convenience for tests: whole-path value access.
  void setText(Hive hive, std::string_view path, std::string_view name, std::string_view text);
  void setDword(Hive hive, std::string_view path, std::string_view name, std::int32_t value);
  void setRaw(Hive hive, std::string_view path, std::string_view name, RegType type, std::vector<std::uint8_t> data);
  [[nodiscard]] bool hasKey(Hive hive, std::string_view path) const;
  [[nodiscard]] bool hasValue(Hive hive, std::string_view path, std::string_view name) const;
  // The subkey names of a key in enumeration order.
  [[nodiscard]] std::vector<std::string> subkeys(Hive hive, std::string_view path) const;
  // The value names of a key in enumeration order.
  [[nodiscard]] std::vector<std::string> valueNames(Hive hive, std::string_view path) const;

 private:
  struct HiveState;
  HiveState& state(Hive hive);
  const HiveState& state(Hive hive) const;

  std::unique_ptr<HiveState> m_hives[2];
  int m_writes = 0;
};

}  // namespace kip::test
