#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kip {

enum class Hive { CurrentUser, LocalMachine };

// Registry value types, numbered as on Windows.
enum class RegType : std::uint32_t { Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4 };

// A Windows error number: 0 success, 2 missing, 5 access denied, 234 buffer too small, 259 no more items.
using RegCode = std::int32_t;

struct RegValue {
  RegType type = RegType::Binary;
  std::vector<std::uint8_t> data;
};

enum class KeyAccess { Read, ReadWrite };

// An open registry key. Closing is destruction; nothing stays open beyond the handle's life.
class RegKey {
 public:
  virtual ~RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  // True when the key was opened for writing.
  [[nodiscard]] virtual bool writable() const = 0;
  // Name of the index-th subkey in case-insensitive order; 259 past the end.
  virtual RegCode enumKey(std::uint32_t index, std::string& name) = 0;
  // Name and value of the index-th value in case-insensitive order; 259 past the end.
  virtual RegCode enumValue(std::uint32_t index, std::string& name, RegValue& value) = 0;
  // Reads a value whose data fits in bufferSize bytes; 234 when it does not, 2 when it is missing.
  virtual RegCode queryValue(std::string_view name, std::uint32_t bufferSize, RegValue& value) = 0;
  // Creates or replaces a value; 5 when the key is open for reading only.
  virtual RegCode setValue(std::string_view name, RegType type, std::span<const std::uint8_t> data) = 0;
  // Removes a value; 2 when it is missing.
  virtual RegCode deleteValue(std::string_view name) = 0;

 protected:
  RegKey() = default;
};

// The emulated registry: two hives of keys separated by "\", names case-insensitive and case-preserving.
class Registry {
 public:
  virtual ~Registry() = default;
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Opens an existing key; 2 when it is missing, 5 for ReadWrite when the hive may not be written.
  virtual RegCode openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) = 0;
  // Opens a key for writing, creating it and its missing parents.
  virtual RegCode createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) = 0;
  // Deletes a key with everything below it, in one transaction.
  virtual RegCode deleteTree(Hive hive, std::string_view path) = 0;
  // Copies a key's tree to a new sibling path and deletes the old one, in one transaction.
  // Fails with 183 (already exists) when the target exists, leaving both untouched.
  virtual RegCode moveKey(Hive hive, std::string_view from, std::string_view to) = 0;
  // Starts a group of writes that other readers see all at once or not at all. Nests.
  virtual RegCode beginBatch(Hive hive) = 0;
  // Ends the innermost group; commit=false undoes its writes.
  virtual RegCode endBatch(Hive hive, bool commit) = 0;
  // Takes the hive's write lock for the open group now, so that what is read until the group ends cannot be
  // changed by another process meanwhile. A registry no other process writes has nothing to take.
  virtual RegCode holdBatch(Hive hive) {
    static_cast<void>(hive);
    return 0;
  }
  // A human-readable problem with the hive (a damaged file, say), empty when there is none.
  [[nodiscard]] virtual std::string hiveProblem(Hive hive) const = 0;
  // How long later writes wait for another process's write lock before they fail with 170 (busy); nothing
  // restores the usual wait. A registry whose writes never wait ignores it.
  virtual void setLockWait(Hive hive, std::optional<std::uint32_t> waitMs) {
    static_cast<void>(hive);
    static_cast<void>(waitMs);
  }

 protected:
  Registry() = default;
};

inline constexpr RegCode kRegAlreadyExists = 183;

// Keeps a batch open for one scope and commits it at the end.
class RegBatch {
 public:
  RegBatch(Registry& registry, Hive hive) : m_registry(registry), m_hive(hive) {
    m_open = m_registry.beginBatch(hive) == 0;
  }
  ~RegBatch() {
    if (m_open) m_registry.endBatch(m_hive, true);
  }
  RegBatch(const RegBatch&) = delete;
  RegBatch& operator=(const RegBatch&) = delete;

 private:
  Registry& m_registry;
  Hive m_hive;
  bool m_open = false;
};

// Splits "A\B\C" into its names; empty parts (doubled or trailing "\") are dropped.
std::vector<std::string> splitKeyPath(std::string_view path);
// Case-folded form of a key or value name, as used for comparison and ordering: every letter UTF-8 can hold
// is folded (foldCase).
std::string foldName(std::string_view name);

}  // namespace kip
