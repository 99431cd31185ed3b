#include "platform/linux/sqlite_registry.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/sqlite_hive.h"
#include "platform/linux/sqlite_key.h"

namespace kip {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string homeFolder() {
  if (auto home = environment("HOME"); !home.empty()) return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return ".";
}

}  // namespace

std::string userHivePath() {
  if (auto path = environment("KIPLAUNCH_USER_HIVE"); !path.empty()) return path;
  // A relative XDG_CONFIG_HOME is invalid and is ignored.
  if (auto config = environment("XDG_CONFIG_HOME"); !config.empty() && config.front() == '/')
    return config + "/kiplaunch/user.db";
  return homeFolder() + "/.config/kiplaunch/user.db";
}

std::string machineHivePath() {
  if (auto path = environment("KIPLAUNCH_MACHINE_HIVE"); !path.empty()) return path;
  return KIP_LOCALSTATEDIR "/lib/kiplaunch/machine.db";
}

SqliteRegistry::SqliteRegistry(std::string userHivePath, std::string machineHivePath) {
  m_hives[0] = std::make_shared<SqliteHive>(std::move(userHivePath), true);
  m_hives[1] = std::make_shared<SqliteHive>(std::move(machineHivePath), false);
}

SqliteRegistry::~SqliteRegistry() = default;

std::unique_ptr<SqliteRegistry> SqliteRegistry::fromEnvironment() {
  return std::make_unique<SqliteRegistry>(userHivePath(), machineHivePath());
}

const std::shared_ptr<SqliteHive>& SqliteRegistry::file(Hive hive) const {
  return m_hives[hive == Hive::CurrentUser ? 0 : 1];
}

const std::string& SqliteRegistry::hivePath(Hive hive) const { return file(hive)->path(); }

RegCode SqliteRegistry::openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) {
  const auto parts = splitKeyPath(path);
  const bool writable = access == KeyAccess::ReadWrite;
  SqliteHive::OpenedKey opened;
  if (const RegCode code = file(hive)->openKey(parts, writable, opened)) return code;
  key = std::make_unique<SqliteKey>(file(hive), std::move(opened), writable);
  return 0;
}

RegCode SqliteRegistry::createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) {
  const auto parts = splitKeyPath(path);
  SqliteHive::OpenedKey opened;
  if (const RegCode code = file(hive)->createKey(parts, opened)) return code;
  key = std::make_unique<SqliteKey>(file(hive), std::move(opened), true);
  return 0;
}

RegCode SqliteRegistry::deleteTree(Hive hive, std::string_view path) {
  return file(hive)->deleteTree(splitKeyPath(path));
}

RegCode SqliteRegistry::moveKey(Hive hive, std::string_view from, std::string_view to) {
  return file(hive)->moveKey(splitKeyPath(from), splitKeyPath(to));
}

RegCode SqliteRegistry::beginBatch(Hive hive) { return file(hive)->beginBatch(); }

RegCode SqliteRegistry::endBatch(Hive hive, bool commit) { return file(hive)->endBatch(commit); }

RegCode SqliteRegistry::holdBatch(Hive hive) { return file(hive)->holdBatch(); }

std::string SqliteRegistry::hiveProblem(Hive hive) const { return file(hive)->problem(); }

void SqliteRegistry::setLockWait(Hive hive, std::optional<std::uint32_t> waitMs) { file(hive)->setLockWait(waitMs); }

}  // namespace kip
