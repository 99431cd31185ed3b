#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kip::test {

// A registry held in memory, with the semantics of the real one, for unit tests.
class MemoryRegistry final : public Registry {
 public:
  struct Node;
  // One value written through a key handle.
  struct Write {
    Hive hive;
    std::string path;  // the key's path as it was opened or created
    std::string name;
  };

  MemoryRegistry();
  ~MemoryRegistry() override;

  RegCode openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) override;
  RegCode createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) override;
  RegCode deleteTree(Hive hive, std::string_view path) override;
  RegCode moveKey(Hive hive, std::string_view from, std::string_view to) override;
  RegCode beginBatch(Hive hive) override;
  RegCode endBatch(Hive hive, bool commit) override;
  [[nodiscard]] std::string hiveProblem(Hive hive) const override;
  void setLockWait(Hive hive, std::optional<std::uint32_t> waitMs) override;
  // Every lock wait set on a hive, in order; nothing stands for the usual wait.
  [[nodiscard]] const std::vector<std::optional<std::uint32_t>>& lockWaits(Hive hive) const;

  // Makes a hive refuse every write, as a hive file without write permission does; handles opened for
  // writing before refuse too.
  void setReadOnly(Hive hive, bool readOnly);
  [[nodiscard]] bool readOnly(Hive hive) const;
  // Makes createKey and openKey for writing fail with code for the key prefix and every key below it
  // (case-insensitive). Deletions and moves are not affected.
  void failWritesUnder(Hive hive, std::string_view prefix, RegCode code = 5);
  // Makes every openKey, also for reading, fail with code for the key prefix and every key below it.
  void failOpensUnder(Hive hive, std::string_view prefix, RegCode code = 5);
  // Makes the next outermost batch of the hive that ends with commit undo its writes and fail with code,
  // as a commit that the disk refuses does.
  void failNextCommit(Hive hive, RegCode code = 112);
  // Makes setValue of the named value fail with code in every key of the hive.
  void failValueWrites(Hive hive, std::string_view valueName, RegCode code = 5);
  // The problem hiveProblem reports for a hive, as a damaged hive file gives one.
  void setHiveProblem(Hive hive, std::string problem) { m_problems[static_cast<int>(hive)] = std::move(problem); }
  // Counts setValue calls that succeeded, for tests of what a save writes.
  [[nodiscard]] int writeCount() const { return m_writes; }
  void countWrite() { ++m_writes; }
  // Every setValue that succeeded, in order.
  [[nodiscard]] const std::vector<Write>& writeLog() const { return m_log; }
  void clearWriteLog() { m_log.clear(); }
  // Records a successful write; called by the key handles.
  void recordWrite(Hive hive, std::string_view path, std::string_view name);
  // The code a write of the named value fails with, 0 when it does not.
  [[nodiscard]] RegCode valueWriteFault(Hive hive, std::string_view valueName) const;
  // How many batches were begun on a hive, and how many are open now.
  [[nodiscard]] int batchesBegun(Hive hive) const;
  [[nodiscard]] int openBatches(Hive hive) const;

  // Convenience for tests: whole-path value access, bypassing read-only hives and failing prefixes.
  void setText(Hive hive, std::string_view path, std::string_view name, std::string_view text);
  void setDword(Hive hive, std::string_view path, std::string_view name, std::int32_t value);
  void setRaw(Hive hive, std::string_view path, std::string_view name, RegType type, std::vector<std::uint8_t> data);
  // Creates a key (and its parents) without values.
  void addKey(Hive hive, std::string_view path);
  [[nodiscard]] bool hasKey(Hive hive, std::string_view path) const;
  [[nodiscard]] bool hasValue(Hive hive, std::string_view path, std::string_view name) const;
  // A value as stored; nullopt when the key or the value is missing.
  [[nodiscard]] std::optional<RegValue> value(Hive hive, std::string_view path, std::string_view name) const;
  // The subkey names of a key in enumeration order.
  [[nodiscard]] std::vector<std::string> subkeys(Hive hive, std::string_view path) const;
  // The value names of a key in enumeration order.
  [[nodiscard]] std::vector<std::string> valueNames(Hive hive, std::string_view path) const;

 private:
  struct HiveState;
  HiveState& state(Hive hive);
  const HiveState& state(Hive hive) const;
  std::shared_ptr<Node> makePath(Hive hive, std::string_view path);

  std::unique_ptr<HiveState> m_hives[2];
  int m_writes = 0;
  std::vector<Write> m_log;
  std::string m_problems[2];
};

}  // namespace kip::test
