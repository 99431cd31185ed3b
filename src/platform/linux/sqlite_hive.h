#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sqlite_hive_batch.h"
#include "platform/linux/sqlite_hive_connection.h"
#include "platform/linux/sqlite_hive_schema.h"
#include "platform/registry.h"

namespace kip {

// One hive file: its SQLite connection, opened at first use, and the tree of keys and values inside it.
// A missing file is created by the first write only; a damaged or foreign file is never written.
// One thread at a time.
class SqliteHive {
 public:
  // Tells whether a copy of a key's contents is still current.
  using Stamp = SqliteHiveConnection::Stamp;

  // A value as kept in a handle's copy of its key, which is ordered by fold.
  struct Value {
    std::string fold;
    std::string name;
    RegValue value;
  };

  // A key found or created: its id (never reused) and a copy of its values.
  struct OpenedKey {
    std::int64_t id = 0;
    std::vector<Value> values;
    Stamp stamp;
  };

  // privateFolder: folders this hive creates for its file get mode 0700 instead of 0755.
  SqliteHive(std::string path, bool privateFolder);
  ~SqliteHive();
  SqliteHive(const SqliteHive&) = delete;
  SqliteHive& operator=(const SqliteHive&) = delete;

  [[nodiscard]] const std::string& path() const { return m_connection.path(); }

  // Finds an existing key: 2 when it or the file is missing; 5 when writable is asked and the hive may not
  // be written; 1392 when the file is damaged or no registry file.
  RegCode openKey(std::span<const std::string> parts, bool writable, OpenedKey& key);
  // Finds a key, creating it, its missing parents and, at the first write, the file and its folder.
  RegCode createKey(std::span<const std::string> parts, OpenedKey& key);
  // Deletes a key and everything below it in one transaction; 5 for the root.
  RegCode deleteTree(std::span<const std::string> parts);
  // Copies a key's tree to a new path and deletes the old one in one transaction; 183 when the target exists
  // (unless it is the same key spelt in another case, which is then renamed), 2 when the target's parent is
  // missing, 87 when the target lies inside the source.
  RegCode moveKey(std::span<const std::string> from, std::span<const std::string> to);
  // Opens a nested group of writes; its transaction starts at its first write.
  RegCode beginBatch();
  // Closes the innermost group, keeping or undoing its writes; 87 when no group is open.
  RegCode endBatch(bool commit);
  // Begins the open batch's transaction now, taking the write lock; 87 without an open batch.
  RegCode holdBatch();
  // A one-line description of what makes the file unusable, empty when nothing does.
  std::string problem();
  // How long writes wait for another connection's write lock; nothing for the usual time.
  void setLockWait(std::optional<std::uint32_t> waitMs);

  // The current values of a key; 1018 when the key was deleted.
  RegCode readValues(std::int64_t id, std::vector<Value>& values, Stamp& stamp);
  // The names of a key's subkeys in order; 1018 when the key was deleted.
  RegCode readSubkeys(std::int64_t id, std::vector<std::string>& names, Stamp& stamp);
  // Writes a value. copy holds the stamp of the caller's copy of the key's values; afterwards it holds the
  // stamp of that copy with this write applied, or nothing when the copy must be read again. sameAsCopy
  // tells that the copy holds this very value already, which spares the write inside a batch.
  RegCode setValue(std::int64_t id, std::string_view name, std::string_view fold, RegType type,
                   std::span<const std::uint8_t> data, bool sameAsCopy, std::optional<Stamp>& copy);
  // Removes a value (2 when it is missing); copy as for setValue.
  RegCode deleteValue(std::int64_t id, std::string_view fold, std::optional<Stamp>& copy);

  // The stamp a copy taken now would carry.
  [[nodiscard]] Stamp stamp() const;
  // 0 while the hive may be used, 1392 once its file was found damaged.
  [[nodiscard]] RegCode health() const;

 private:
  using Content = SqliteHiveSchema::Content;

  // Disconnects from a file found damaged and fails the open batch; 1392 then.
  RegCode enter();
  // Connects to an existing file that holds a registry; 2 when it is missing or still empty, 1392 when it is
  // damaged or holds something else.
  RegCode readyToRead();
  // Connects to the file, creating it or its tables when missing, for a write.
  RegCode readyToWrite();
  // Whether the hive may be written, reconnecting to a file that could not be written when it was opened.
  RegCode writeAccess();
  // Opens the file, learns what it holds and brings the folded forms of its names up to date where it may;
  // create makes the file.
  RegCode connect(bool create);
  // Closes the connection and forgets what was learnt from it.
  void disconnect();
  // Opens the hive for a value write and begins the pending batch levels; inBatch tells whether one is open.
  RegCode prepareValueWrite(bool& inBatch);

  [[nodiscard]] SqliteHiveSchema::Statements& sql() { return m_schema.statements(); }
  RegCode findPath(std::span<const std::string> parts, std::int64_t& id);
  RegCode findChild(std::int64_t parent, std::string_view fold, std::int64_t& id, std::string* name);
  RegCode keyExists(std::int64_t id);
  RegCode fetchValues(std::int64_t id, std::vector<Value>& values);
  RegCode insertKey(std::int64_t parent, std::string_view name, std::int64_t& id);
  RegCode deleteSubtree(std::int64_t id);
  RegCode copyTree(std::int64_t source, std::int64_t parent, std::string_view name);
  // Starts the transaction of a write that deletes or moves the key at parts, and finds that key in it.
  RegCode startTreeWrite(SqliteHiveBatch::WriteScope& scope, std::span<const std::string> parts, std::int64_t& id);

  // In this order, so that the schema's statements are finalized before the connection closes.
  SqliteHiveConnection m_connection;
  SqliteHiveSchema m_schema;
  SqliteHiveBatch m_batch;
  bool m_staleFolds = false;  // some names are still folded by the older rule
};

}  // namespace kip
