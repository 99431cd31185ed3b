#include "platform/linux/sqlite_hive.h"

#include <sqlite3.h>

#include <algorithm>
#include <utility>

#include "base/win_error.h"
#include "platform/linux/sqlite_fold_migration.h"

namespace kip {

namespace {

// SQLite could not use the file the way it was opened, as when a WAL database lies in a folder where this
// user may not create its -shm file.
bool isAccessFailure(int rc) {
  const int primary = rc & 0xff;
  return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
}

}  // namespace

using ReadScope = SqliteHiveConnection::ReadScope;
using WriteScope = SqliteHiveBatch::WriteScope;

SqliteHive::SqliteHive(std::string path, bool privateFolder)
    : m_connection(std::move(path), privateFolder), m_schema(m_connection), m_batch(m_connection, m_schema) {}

SqliteHive::~SqliteHive() { disconnect(); }

// --- Connection ---------------------------------------------------------------------------------------------

RegCode SqliteHive::enter() {
  if (!m_connection.damaged()) return 0;
  if (m_connection.isOpen()) disconnect();
  m_batch.abandon(win::kFileCorrupt);
  return win::kFileCorrupt;
}

RegCode SqliteHive::readyToRead() {
  if (const RegCode code = enter()) return code;
  if (!m_connection.isOpen()) {
    if (const RegCode code = m_connection.readPermission()) return code;
    if (const RegCode code = connect(false)) return code;
  }
  if (m_schema.content() == Content::Empty) {
    // Another process may have written the first key since.
    if (const int rc = m_schema.inspect(false); rc != SQLITE_OK) return m_connection.fail(rc);
  }
  switch (m_schema.content()) {
    case Content::Registry:
      return 0;
    case Content::Empty:
      return win::kFileNotFound;
    default:
      return win::kFileCorrupt;
  }
}

RegCode SqliteHive::writeAccess() {
  if (const RegCode code = enter()) return code;
  bool exists = false;
  if (const RegCode code = m_connection.writePermission(exists); code || !exists) return code;
  if (m_connection.isOpen() && m_connection.readOnly()) {
    // Opened for reading while the file could not be written; it can be now.
    if (!m_connection.readOnlyByPermission() || m_connection.inTransaction()) return win::kAccessDenied;
    disconnect();
    if (const RegCode code = connect(false)) return code;
    if (m_connection.readOnly()) return win::kAccessDenied;
  }
  return 0;
}

RegCode SqliteHive::readyToWrite() {
  if (const RegCode code = enter()) return code;
  if (m_connection.isOpen() && m_schema.content() == Content::Foreign) return win::kFileCorrupt;
  if (const RegCode code = writeAccess()) return code;
  if (!m_connection.isOpen()) {
    bool exists = false;
    if (const RegCode code = m_connection.prepareFile(exists)) return code;
    if (const RegCode code = connect(!exists)) return code;
    if (m_connection.readOnly()) return win::kAccessDenied;
  }
  switch (m_schema.content()) {
    case Content::Registry:
      return 0;
    case Content::Empty:
      return m_schema.createTables();
    default:
      return win::kFileCorrupt;
  }
}

RegCode SqliteHive::connect(bool create) {
  int rc = m_connection.open(create);
  if (rc == SQLITE_OK) rc = m_schema.inspect(true);
  if (!create && rc != SQLITE_OK && isAccessFailure(rc) && !m_connection.damaged()) {
    disconnect();
    rc = m_connection.openAsItStands();
    if (rc == SQLITE_OK) rc = m_schema.inspect(true);
  }
  if (rc != SQLITE_OK || m_connection.damaged()) {
    const RegCode code = m_connection.openFailed(rc);
    disconnect();
    return code;
  }
  m_connection.learnAccess();
  if (m_schema.content() != Content::Foreign) m_connection.setNotice({});
  if (m_schema.content() == Content::Registry) {
    if (!m_connection.readOnly()) m_connection.useWriteAheadLog();
    m_staleFolds = migrateFolds(m_connection);
  }
  return 0;
}

void SqliteHive::disconnect() {
  m_schema.reset();
  m_staleFolds = false;
  m_connection.close();
}

SqliteHive::Stamp SqliteHive::stamp() const { return m_connection.stamp(); }

RegCode SqliteHive::health() const { return m_connection.damaged() ? win::kFileCorrupt : 0; }

std::string SqliteHive::problem() {
  readyToRead();
  return m_connection.problem();
}

void SqliteHive::setLockWait(std::optional<std::uint32_t> waitMs) { m_connection.setLockWait(waitMs); }

// --- Batches ------------------------------------------------------------------------------------------------

RegCode SqliteHive::beginBatch() {
  // A missing file is fine (the first write creates it); a damaged or foreign one is not.
  if (const RegCode code = readyToRead(); code == win::kFileCorrupt) return code;
  return m_batch.begin();
}

RegCode SqliteHive::endBatch(bool commit) {
  if (!m_batch.open()) return win::kInvalidParameter;
  enter();
  return m_batch.end(commit);
}

RegCode SqliteHive::holdBatch() {
  if (!m_batch.open()) return win::kInvalidParameter;
  bool inBatch = false;
  return prepareValueWrite(inBatch);
}

// --- Keys ---------------------------------------------------------------------------------------------------

RegCode SqliteHive::findChild(std::int64_t parent, std::string_view fold, std::int64_t& id, std::string* name) {
  SqliteStatement::Use query(sql().findChild);
  query->bind(1, parent);
  query->bindText(2, fold);
  const int rc = query->step();
  if (rc == SQLITE_ROW) {
    id = query->columnInt(0);
    if (name) *name = query->columnText(1);
    return 0;
  }
  if (rc != SQLITE_DONE) return m_connection.fail(rc);
  if (!m_staleFolds) return win::kFileNotFound;
  // Folded forms of an older rule: the names themselves are compared.
  SqliteStatement::Use children(sql().subkeys);
  children->bind(1, parent);
  int step = SQLITE_OK;
  while ((step = children->step()) == SQLITE_ROW) {
    if (foldName(children->columnText(1)) != fold) continue;
    id = children->columnInt(0);
    if (name) *name = children->columnText(1);
    return 0;
  }
  return step == SQLITE_DONE ? win::kFileNotFound : m_connection.fail(step);
}

RegCode SqliteHive::findPath(std::span<const std::string> parts, std::int64_t& id) {
  id = SqliteHiveSchema::kRootId;
  for (const auto& part : parts) {
    if (const RegCode code = findChild(id, foldName(part), id, nullptr)) return code;
  }
  return 0;
}

RegCode SqliteHive::keyExists(std::int64_t id) {
  SqliteStatement::Use query(sql().keyExists);
  query->bind(1, id);
  const int rc = query->step();
  if (rc == SQLITE_ROW) return 0;
  return rc == SQLITE_DONE ? win::kKeyDeleted : m_connection.fail(rc);
}

RegCode SqliteHive::fetchValues(std::int64_t id, std::vector<Value>& values) {
  values.clear();
  SqliteStatement::Use query(sql().values);
  query->bind(1, id);
  int rc = SQLITE_OK;
  while ((rc = query->step()) == SQLITE_ROW) {
    auto& value = values.emplace_back();
    value.fold = query->columnText(0);
    value.name = query->columnText(1);
    value.value.type = static_cast<RegType>(query->columnInt(2));
    const auto data = query->columnBlob(3);
    value.value.data.assign(data.begin(), data.end());
    if (m_staleFolds) value.fold = foldName(value.name);
  }
  if (m_staleFolds)
    std::stable_sort(values.begin(), values.end(), [](const Value& a, const Value& b) { return a.fold < b.fold; });
  return rc == SQLITE_DONE ? 0 : m_connection.fail(rc);
}

RegCode SqliteHive::insertKey(std::int64_t parent, std::string_view name, std::int64_t& id) {
  const std::string fold = foldName(name);
  SqliteStatement::Use insert(sql().insertKey);
  insert->bind(1, parent);
  insert->bindText(2, fold);
  insert->bindText(3, name);
  const int rc = insert->step();
  if (rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  id = sqlite3_last_insert_rowid(m_connection.db());
  m_batch.keyCreated(id);
  return 0;
}

RegCode SqliteHive::deleteSubtree(std::int64_t id) {
  for (auto* statement : {&sql().deleteTreeValues, &sql().deleteTreeKeys}) {
    SqliteStatement::Use remove(*statement);
    remove->bind(1, id);
    if (const int rc = remove->step(); rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  }
  return 0;
}

RegCode SqliteHive::copyTree(std::int64_t source, std::int64_t parent, std::string_view name) {
  std::int64_t copy = 0;
  if (const RegCode code = insertKey(parent, name, copy)) return code;
  {
    SqliteStatement::Use values(sql().copyValues);
    values->bind(1, source);
    values->bind(2, copy);
    if (const int rc = values->step(); rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  }
  std::vector<std::pair<std::int64_t, std::string>> children;
  {
    SqliteStatement::Use query(sql().subkeys);
    query->bind(1, source);
    int rc = SQLITE_OK;
    while ((rc = query->step()) == SQLITE_ROW) children.emplace_back(query->columnInt(0), query->columnText(1));
    if (rc != SQLITE_DONE) return m_connection.fail(rc);
  }
  for (const auto& [child, childName] : children) {
    if (const RegCode code = copyTree(child, copy, childName)) return code;
  }
  return 0;
}

RegCode SqliteHive::openKey(std::span<const std::string> parts, bool writable, OpenedKey& key) {
  RegCode access = 0;
  if (writable) {
    access = writeAccess();
    if (access == win::kFileCorrupt) return access;
  }
  if (const RegCode code = readyToRead()) return code;
  if (writable && access == 0 && m_connection.readOnly()) access = win::kAccessDenied;
  ReadScope scope(m_connection);
  if (const RegCode code = findPath(parts, key.id)) return code;
  if (access) return access;
  if (const RegCode code = fetchValues(key.id, key.values)) return code;
  key.stamp = stamp();
  return 0;
}

RegCode SqliteHive::createKey(std::span<const std::string> parts, OpenedKey& key) {
  if (const RegCode code = readyToWrite()) return code;
  {
    // Most keys exist already; finding them needs no write lock.
    ReadScope scope(m_connection);
    const RegCode code = findPath(parts, key.id);
    if (code == 0) {
      if (const RegCode fetched = fetchValues(key.id, key.values)) return fetched;
      key.stamp = stamp();
      return 0;
    }
    if (code != win::kFileNotFound) return code;
  }
  WriteScope scope(m_batch);
  if (const RegCode code = scope.begin()) return code;
  std::int64_t id = SqliteHiveSchema::kRootId;
  bool created = false;
  for (const auto& part : parts) {
    std::int64_t child = 0;
    RegCode code = findChild(id, foldName(part), child, nullptr);
    if (code == win::kFileNotFound) {
      code = insertKey(id, part, child);
      created = true;
    }
    if (code) return code;
    id = child;
  }
  key.values.clear();
  if (!created) {
    if (const RegCode code = fetchValues(id, key.values)) return code;
  }
  if (const RegCode code = scope.commit()) return code;
  m_connection.markChanged();
  key.id = id;
  key.stamp = stamp();
  return 0;
}

RegCode SqliteHive::startTreeWrite(WriteScope& scope, std::span<const std::string> parts, std::int64_t& id) {
  if (const RegCode code = readyToRead()) return code;
  if (const RegCode code = readyToWrite()) return code;
  if (const RegCode code = scope.begin()) return code;
  return findPath(parts, id);
}

RegCode SqliteHive::deleteTree(std::span<const std::string> parts) {
  if (parts.empty()) return win::kAccessDenied;
  WriteScope scope(m_batch);
  std::int64_t id = 0;
  if (const RegCode code = startTreeWrite(scope, parts, id)) return code;
  if (const RegCode code = deleteSubtree(id)) return code;
  if (const RegCode code = scope.commit()) return code;
  m_connection.markChanged();
  return 0;
}

RegCode SqliteHive::moveKey(std::span<const std::string> from, std::span<const std::string> to) {
  if (from.empty()) return win::kAccessDenied;
  if (to.empty()) return kRegAlreadyExists;
  WriteScope scope(m_batch);
  std::int64_t source = 0;
  if (const RegCode code = startTreeWrite(scope, from, source)) return code;
  std::int64_t parent = SqliteHiveSchema::kRootId;
  for (std::size_t i = 0; i + 1 < to.size(); ++i) {
    if (parent == source) return win::kInvalidParameter;
    if (const RegCode code = findChild(parent, foldName(to[i]), parent, nullptr)) return code;
  }
  if (parent == source) return win::kInvalidParameter;
  const std::string& leaf = to.back();
  std::int64_t existing = 0;
  std::string existingName;
  const RegCode found = findChild(parent, foldName(leaf), existing, &existingName);
  if (found == 0) {
    if (existing != source) return kRegAlreadyExists;
    if (existingName == leaf) return 0;
    // The same key spelt in another case: it keeps its id and takes the new spelling.
    SqliteStatement::Use rename(sql().renameKey);
    rename->bind(1, source);
    rename->bindText(2, leaf);
    if (const int rc = rename->step(); rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  } else if (found != win::kFileNotFound) {
    return found;
  } else {
    if (const RegCode code = copyTree(source, parent, leaf)) return code;
    if (const RegCode code = deleteSubtree(source)) return code;
  }
  if (const RegCode code = scope.commit()) return code;
  m_connection.markChanged();
  return 0;
}

// --- Values -------------------------------------------------------------------------------------------------

RegCode SqliteHive::readValues(std::int64_t id, std::vector<Value>& values, Stamp& stamp) {
  if (const RegCode code = readyToRead()) return code == win::kFileNotFound ? win::kKeyDeleted : code;
  ReadScope scope(m_connection);
  if (const RegCode code = keyExists(id)) return code;
  if (const RegCode code = fetchValues(id, values)) return code;
  stamp = this->stamp();
  return 0;
}

RegCode SqliteHive::readSubkeys(std::int64_t id, std::vector<std::string>& names, Stamp& stamp) {
  if (const RegCode code = readyToRead()) return code == win::kFileNotFound ? win::kKeyDeleted : code;
  ReadScope scope(m_connection);
  if (const RegCode code = keyExists(id)) return code;
  names.clear();
  SqliteStatement::Use query(sql().subkeys);
  query->bind(1, id);
  int rc = SQLITE_OK;
  while ((rc = query->step()) == SQLITE_ROW) names.emplace_back(query->columnText(1));
  if (rc != SQLITE_DONE) return m_connection.fail(rc);
  if (m_staleFolds) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return foldName(a) < foldName(b); });
  }
  stamp = this->stamp();
  return 0;
}

// The checks every value write makes first: a usable, writable hive, and the batch's transaction begun.
RegCode SqliteHive::prepareValueWrite(bool& inBatch) {
  if (const RegCode code = enter()) return code;
  if (!m_connection.isOpen() || m_schema.content() != Content::Registry) {
    if (const RegCode code = readyToWrite()) return code;
  }
  if (m_connection.readOnly()) return win::kAccessDenied;
  inBatch = m_batch.open();
  if (inBatch) return m_batch.start();
  return 0;
}

RegCode SqliteHive::setValue(std::int64_t id, std::string_view name, std::string_view fold, RegType type,
                             std::span<const std::uint8_t> data, bool sameAsCopy, std::optional<Stamp>& copy) {
  const std::optional<Stamp> before = copy;
  copy.reset();
  bool inBatch = false;
  if (const RegCode code = prepareValueWrite(inBatch)) return code;
  // Inside the batch's transaction no other connection can write, so the stamp tells exactly whether the
  // caller's copy is current.
  const bool exact = inBatch && before && *before == stamp();
  if (exact && sameAsCopy) {
    copy = before;
    return 0;
  }
  {
    SqliteStatement::Use upsert(sql().upsertValue);
    upsert->bind(1, id);
    upsert->bindText(2, fold);
    upsert->bindText(3, name);
    upsert->bind(4, static_cast<std::int64_t>(type));
    upsert->bindBlob(5, data);
    if (const int rc = upsert->step(); rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  }
  if (sqlite3_changes(m_connection.db()) == 0) return win::kKeyDeleted;
  m_connection.markChanged();
  if (exact) copy = stamp();
  return 0;
}

RegCode SqliteHive::deleteValue(std::int64_t id, std::string_view fold, std::optional<Stamp>& copy) {
  const std::optional<Stamp> before = copy;
  copy.reset();
  bool inBatch = false;
  if (const RegCode code = prepareValueWrite(inBatch)) return code;
  const bool exact = inBatch && before && *before == stamp();
  {
    SqliteStatement::Use remove(sql().deleteValue);
    remove->bind(1, id);
    remove->bindText(2, fold);
    if (const int rc = remove->step(); rc != SQLITE_DONE) return m_batch.writeFailed(rc);
  }
  if (sqlite3_changes(m_connection.db()) == 0) {
    if (const RegCode code = keyExists(id)) return code;
    if (exact) copy = before;
    return win::kFileNotFound;
  }
  m_connection.markChanged();
  if (exact) copy = stamp();
  return 0;
}

}  // namespace kip
