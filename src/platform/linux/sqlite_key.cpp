#include "platform/linux/sqlite_key.h"

#include <algorithm>

#include "base/win_error.h"

namespace kip {

SqliteKey::SqliteKey(std::shared_ptr<SqliteHive> hive, SqliteHive::OpenedKey opened, bool writable)
    : m_hive(std::move(hive)),
      m_id(opened.id),
      m_writable(writable),
      m_values(std::move(opened.values)),
      m_valuesStamp(opened.stamp) {}

RegCode SqliteKey::settle(RegCode code) {
  // Key ids are never given out again, so a key found deleted stays deleted.
  if (code == win::kKeyDeleted) m_deleted = true;
  return code;
}

RegCode SqliteKey::currentValues() {
  if (m_deleted) return win::kKeyDeleted;
  if (const RegCode code = m_hive->health()) return code;
  if (m_valuesStamp && *m_valuesStamp == m_hive->stamp()) return 0;
  m_valuesStamp.reset();
  SqliteHive::Stamp stamp;
  if (const RegCode code = m_hive->readValues(m_id, m_values, stamp)) return settle(code);
  m_valuesStamp = stamp;
  return 0;
}

RegCode SqliteKey::currentSubkeys() {
  if (m_deleted) return win::kKeyDeleted;
  if (const RegCode code = m_hive->health()) return code;
  if (m_subkeysStamp && *m_subkeysStamp == m_hive->stamp()) return 0;
  m_subkeysStamp.reset();
  SqliteHive::Stamp stamp;
  if (const RegCode code = m_hive->readSubkeys(m_id, m_subkeys, stamp)) return settle(code);
  m_subkeysStamp = stamp;
  return 0;
}

std::vector<SqliteHive::Value>::iterator SqliteKey::findValue(std::string_view fold) {
  auto it = std::lower_bound(m_values.begin(), m_values.end(), fold,
                             [](const SqliteHive::Value& value, std::string_view key) { return value.fold < key; });
  return (it != m_values.end() && it->fold == fold) ? it : m_values.end();
}

RegCode SqliteKey::enumKey(std::uint32_t index, std::string& name) {
  if (const RegCode code = currentSubkeys()) return code;
  if (index >= m_subkeys.size()) return win::kNoMoreItems;
  name = m_subkeys[index];
  return 0;
}

RegCode SqliteKey::enumValue(std::uint32_t index, std::string& name, RegValue& value) {
  if (const RegCode code = currentValues()) return code;
  if (index >= m_values.size()) return win::kNoMoreItems;
  name = m_values[index].name;
  value = m_values[index].value;
  return 0;
}

RegCode SqliteKey::queryValue(std::string_view name, std::uint32_t bufferSize, RegValue& value) {
  if (const RegCode code = currentValues()) return code;
  const auto it = findValue(foldName(name));
  if (it == m_values.end()) return win::kFileNotFound;
  if (it->value.data.size() > bufferSize) return win::kMoreData;
  value = it->value;
  return 0;
}

RegCode SqliteKey::setValue(std::string_view name, RegType type, std::span<const std::uint8_t> data) {
  if (!m_writable) return win::kAccessDenied;
  if (m_deleted) return win::kKeyDeleted;
  const std::string fold = foldName(name);
  auto it = m_valuesStamp ? findValue(fold) : m_values.end();
  const bool same = it != m_values.end() && it->value.type == type &&
                    std::equal(data.begin(), data.end(), it->value.data.begin(), it->value.data.end());
  std::optional<SqliteHive::Stamp> copy = m_valuesStamp;
  if (const RegCode code = m_hive->setValue(m_id, name, fold, type, data, same, copy)) {
    m_valuesStamp.reset();
    return settle(code);
  }
  if (!copy) {
    m_valuesStamp.reset();
    return 0;
  }
  if (it == m_values.end()) {
    const auto at =
        std::lower_bound(m_values.begin(), m_values.end(), fold,
                         [](const SqliteHive::Value& value, std::string_view key) { return value.fold < key; });
    it = m_values.insert(at, SqliteHive::Value{fold, std::string(name), {}});
  }
  it->value.type = type;
  it->value.data.assign(data.begin(), data.end());
  m_valuesStamp = copy;
  return 0;
}

RegCode SqliteKey::deleteValue(std::string_view name) {
  if (!m_writable) return win::kAccessDenied;
  if (m_deleted) return win::kKeyDeleted;
  const std::string fold = foldName(name);
  std::optional<SqliteHive::Stamp> copy = m_valuesStamp;
  const RegCode code = m_hive->deleteValue(m_id, fold, copy);
  if (code != 0 && code != win::kFileNotFound) {
    m_valuesStamp.reset();
    return settle(code);
  }
  if (copy && code == 0) {
    if (const auto it = findValue(fold); it != m_values.end()) m_values.erase(it);
  }
  m_valuesStamp = copy;
  return code;
}

}  // namespace kip
