#include "memory_registry.h"

#include <algorithm>

namespace kip::test {

struct MemoryRegistry::Node {
  std::string name;
  std::map<std::string, std::shared_ptr<Node>> children;           // by folded name
  std::map<std::string, std::pair<std::string, RegValue>> values;  // folded name -> (name, value)
  bool deleted = false;

  [[nodiscard]] std::shared_ptr<Node> clone() const {
    auto copy = std::make_shared<Node>();
    copy->name = name;
    copy->values = values;
    for (const auto& [fold, child] : children) copy->children[fold] = child->clone();
    return copy;
  }
  void markDeleted() {
    deleted = true;
    for (auto& [fold, child] : children) child->markDeleted();
  }
};

struct MemoryRegistry::HiveState {
  struct Fault {
    std::string prefix;  // folded, normalised path
    RegCode code;
  };
  std::shared_ptr<Node> root = std::make_shared<Node>();
  std::vector<std::shared_ptr<Node>> batches;  // the tree as it was when each open batch began
  int batchesBegun = 0;
  std::vector<std::optional<std::uint32_t>> lockWaits;
  bool readOnly = false;
  std::vector<Fault> failingWrites;
  std::vector<Fault> failingOpens;
  RegCode commitFailure = 0;
  std::map<std::string, RegCode> failingValues;  // by folded value name
};

namespace {

using Node = MemoryRegistry::Node;

class MemoryKey final : public RegKey {
 public:
  MemoryKey(MemoryRegistry& owner, Hive hive, std::string_view path, std::shared_ptr<Node> node, bool writable)
      : m_owner(owner), m_hive(hive), m_path(path), m_node(std::move(node)), m_writable(writable) {}

  [[nodiscard]] bool writable() const override { return m_writable; }

  RegCode enumKey(std::uint32_t index, std::string& name) override {
    if (m_node->deleted) return 1018;
    if (index >= m_node->children.size()) return 259;
    auto it = m_node->children.begin();
    std::advance(it, index);
    name = it->second->name;
    return 0;
  }

  RegCode enumValue(std::uint32_t index, std::string& name, RegValue& value) override {
    if (m_node->deleted) return 1018;
    if (index >= m_node->values.size()) return 259;
    auto it = m_node->values.begin();
    std::advance(it, index);
    name = it->second.first;
    value = it->second.second;
    return 0;
  }

  RegCode queryValue(std::string_view name, std::uint32_t bufferSize, RegValue& value) override {
    if (m_node->deleted) return 1018;
    auto it = m_node->values.find(foldName(name));
    if (it == m_node->values.end()) return 2;
    if (it->second.second.data.size() > bufferSize) return 234;
    value = it->second.second;
    return 0;
  }

  RegCode setValue(std::string_view name, RegType type, std::span<const std::uint8_t> data) override {
    if (!m_writable || m_owner.readOnly(m_hive)) return 5;
    if (m_node->deleted) return 1018;
    if (const RegCode code = m_owner.valueWriteFault(m_hive, name)) return code;
    auto& slot = m_node->values[foldName(name)];
    if (slot.first.empty()) slot.first = std::string(name);
    slot.second.type = type;
    slot.second.data.assign(data.begin(), data.end());
    m_owner.countWrite();
    m_owner.recordWrite(m_hive, m_path, name);
    return 0;
  }

  RegCode deleteValue(std::string_view name) override {
    if (!m_writable || m_owner.readOnly(m_hive)) return 5;
    if (m_node->deleted) return 1018;
    return m_node->values.erase(foldName(name)) ? 0 : 2;
  }

 private:
  MemoryRegistry& m_owner;
  Hive m_hive;
  std::string m_path;
  std::shared_ptr<Node> m_node;
  bool m_writable;
};

std::shared_ptr<Node> findNode(const std::shared_ptr<Node>& root, std::string_view path) {
  auto node = root;
  for (const auto& part : splitKeyPath(path)) {
    auto it = node->children.find(foldName(part));
    if (it == node->children.end()) return nullptr;
    node = it->second;
  }
  return node;
}

// The folded path with single separators, so that prefixes compare by whole key names.
std::string normalisedPath(std::string_view path) {
  std::string joined;
  for (const auto& part : splitKeyPath(path)) {
    if (!joined.empty()) joined += '\\';
    joined += foldName(part);
  }
  return joined;
}

template <typename Faults>
RegCode faultFor(const Faults& faults, std::string_view path) {
  const auto folded = normalisedPath(path);
  for (const auto& fault : faults) {
    if (folded == fault.prefix || fault.prefix.empty() ||
        (folded.starts_with(fault.prefix) && folded[fault.prefix.size()] == '\\'))
      return fault.code;
  }
  return 0;
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  m_hives[0] = std::make_unique<HiveState>();
  m_hives[1] = std::make_unique<HiveState>();
}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::HiveState& MemoryRegistry::state(Hive hive) { return *m_hives[hive == Hive::CurrentUser ? 0 : 1]; }
const MemoryRegistry::HiveState& MemoryRegistry::state(Hive hive) const {
  return *m_hives[hive == Hive::CurrentUser ? 0 : 1];
}

void MemoryRegistry::setReadOnly(Hive hive, bool readOnly) { state(hive).readOnly = readOnly; }
bool MemoryRegistry::readOnly(Hive hive) const { return state(hive).readOnly; }

void MemoryRegistry::failWritesUnder(Hive hive, std::string_view prefix, RegCode code) {
  state(hive).failingWrites.push_back({normalisedPath(prefix), code});
}

void MemoryRegistry::failOpensUnder(Hive hive, std::string_view prefix, RegCode code) {
  state(hive).failingOpens.push_back({normalisedPath(prefix), code});
}

void MemoryRegistry::failValueWrites(Hive hive, std::string_view valueName, RegCode code) {
  state(hive).failingValues[foldName(valueName)] = code;
}

RegCode MemoryRegistry::valueWriteFault(Hive hive, std::string_view valueName) const {
  const auto& failing = state(hive).failingValues;
  const auto it = failing.find(foldName(valueName));
  return it == failing.end() ? 0 : it->second;
}

void MemoryRegistry::recordWrite(Hive hive, std::string_view path, std::string_view name) {
  m_log.push_back({hive, std::string(path), std::string(name)});
}

void MemoryRegistry::failNextCommit(Hive hive, RegCode code) { state(hive).commitFailure = code; }

void MemoryRegistry::setLockWait(Hive hive, std::optional<std::uint32_t> waitMs) {
  state(hive).lockWaits.push_back(waitMs);
}

const std::vector<std::optional<std::uint32_t>>& MemoryRegistry::lockWaits(Hive hive) const {
  return state(hive).lockWaits;
}

int MemoryRegistry::batchesBegun(Hive hive) const { return state(hive).batchesBegun; }
int MemoryRegistry::openBatches(Hive hive) const { return static_cast<int>(state(hive).batches.size()); }

RegCode MemoryRegistry::openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) {
  auto& hs = state(hive);
  auto node = findNode(hs.root, path);
  if (!node) return 2;
  if (const RegCode code = faultFor(hs.failingOpens, path)) return code;
  const bool write = access == KeyAccess::ReadWrite;
  if (write) {
    if (hs.readOnly) return 5;
    if (const RegCode code = faultFor(hs.failingWrites, path)) return code;
  }
  key = std::make_unique<MemoryKey>(*this, hive, path, node, write);
  return 0;
}

std::shared_ptr<Node> MemoryRegistry::makePath(Hive hive, std::string_view path) {
  auto node = state(hive).root;
  for (const auto& part : splitKeyPath(path)) {
    auto& child = node->children[foldName(part)];
    if (!child) {
      child = std::make_shared<Node>();
      child->name = part;
    }
    node = child;
  }
  return node;
}

RegCode MemoryRegistry::createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) {
  auto& hs = state(hive);
  if (hs.readOnly) return 5;
  if (const RegCode code = faultFor(hs.failingWrites, path)) return code;
  if (const RegCode code = faultFor(hs.failingOpens, path)) return code;
  key = std::make_unique<MemoryKey>(*this, hive, path, makePath(hive, path), true);
  return 0;
}

RegCode MemoryRegistry::deleteTree(Hive hive, std::string_view path) {
  auto& hs = state(hive);
  if (hs.readOnly) return 5;
  auto parts = splitKeyPath(path);
  if (parts.empty()) return 5;
  const auto leaf = foldName(parts.back());
  parts.pop_back();
  auto parent = hs.root;
  for (const auto& part : parts) {
    auto it = parent->children.find(foldName(part));
    if (it == parent->children.end()) return 2;
    parent = it->second;
  }
  auto it = parent->children.find(leaf);
  if (it == parent->children.end()) return 2;
  it->second->markDeleted();
  parent->children.erase(it);
  return 0;
}

RegCode MemoryRegistry::moveKey(Hive hive, std::string_view from, std::string_view to) {
  auto& hs = state(hive);
  if (hs.readOnly) return 5;
  const auto fromParts = splitKeyPath(from);
  auto toParts = splitKeyPath(to);
  if (fromParts.empty()) return 5;
  if (toParts.empty()) return kRegAlreadyExists;
  auto source = findNode(hs.root, from);
  if (!source) return 2;
  const auto leaf = toParts.back();
  toParts.pop_back();
  auto parent = hs.root;
  for (const auto& part : toParts) {
    // A key cannot be moved into its own tree.
    if (parent == source) return 87;
    auto it = parent->children.find(foldName(part));
    if (it == parent->children.end()) return 2;
    parent = it->second;
  }
  if (parent == source) return 87;
  auto existing = parent->children.find(foldName(leaf));
  if (existing != parent->children.end()) {
    if (existing->second != source) return kRegAlreadyExists;
    // The same key spelt in another case keeps its values and handles and takes the new spelling.
    source->name = leaf;
    return 0;
  }
  auto copy = source->clone();
  copy->name = leaf;
  parent->children[foldName(leaf)] = copy;
  return deleteTree(hive, from);
}

RegCode MemoryRegistry::beginBatch(Hive hive) {
  auto& hs = state(hive);
  hs.batches.push_back(hs.root->clone());
  ++hs.batchesBegun;
  return 0;
}

RegCode MemoryRegistry::endBatch(Hive hive, bool commit) {
  auto& hs = state(hive);
  if (hs.batches.empty()) return 87;
  RegCode code = 0;
  if (commit && hs.batches.size() == 1 && hs.commitFailure != 0) {
    code = hs.commitFailure;
    hs.commitFailure = 0;
    commit = false;
  }
  if (!commit) hs.root = hs.batches.back();
  hs.batches.pop_back();
  return code;
}

std::string MemoryRegistry::hiveProblem(Hive hive) const { return m_problems[static_cast<int>(hive)]; }

void MemoryRegistry::setRaw(Hive hive, std::string_view path, std::string_view name, RegType type,
                            std::vector<std::uint8_t> data) {
  auto node = makePath(hive, path);
  auto& slot = node->values[foldName(name)];
  if (slot.first.empty()) slot.first = std::string(name);
  slot.second.type = type;
  slot.second.data = std::move(data);
}

void MemoryRegistry::setText(Hive hive, std::string_view path, std::string_view name, std::string_view text) {
  setRaw(hive, path, name, RegType::Sz, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void MemoryRegistry::setDword(Hive hive, std::string_view path, std::string_view name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  setRaw(hive, path, name, RegType::Dword,
         {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits >> 16),
          static_cast<std::uint8_t>(bits >> 24)});
}

void MemoryRegistry::addKey(Hive hive, std::string_view path) { makePath(hive, path); }

bool MemoryRegistry::hasKey(Hive hive, std::string_view path) const {
  return findNode(state(hive).root, path) != nullptr;
}

bool MemoryRegistry::hasValue(Hive hive, std::string_view path, std::string_view name) const {
  return value(hive, path, name).has_value();
}

std::optional<RegValue> MemoryRegistry::value(Hive hive, std::string_view path, std::string_view name) const {
  auto node = findNode(state(hive).root, path);
  if (!node) return std::nullopt;
  auto it = node->values.find(foldName(name));
  if (it == node->values.end()) return std::nullopt;
  return it->second.second;
}

std::vector<std::string> MemoryRegistry::subkeys(Hive hive, std::string_view path) const {
  std::vector<std::string> names;
  if (auto node = findNode(state(hive).root, path))
    for (const auto& [fold, child] : node->children) names.push_back(child->name);
  return names;
}

std::vector<std::string> MemoryRegistry::valueNames(Hive hive, std::string_view path) const {
  std::vector<std::string> names;
  if (auto node = findNode(state(hive).root, path))
    for (const auto& [fold, entry] : node->values) names.push_back(entry.first);
  return names;
}

}  // namespace kip::test
