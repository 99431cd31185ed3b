#include "memory_registry.h"

#include <algorithm>

namespace kip::test {

struct MemoryRegistry::Node {
  std::string name;
  std::map<std::string, std::shared_ptr<Node>> children;  // by folded name
  std::map<std::string, std::pair<std::string, RegValue>> values;  // folded name -> (name, value)
  bool deleted = false;

  std::shared_ptr<Node> clone() const {
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
  std::shared_ptr<Node> root = std::make_shared<Node>();
  std::vector<std::shared_ptr<Node>> batches;
  bool readOnly = false;
  std::vector<std::pair<std::string, RegCode>> failing;
};

namespace {

using Node = MemoryRegistry::Node;

class MemoryKey final : public RegKey {
 public:
  MemoryKey(MemoryRegistry& owner, std::shared_ptr<Node> node, bool writable)
      : m_owner(owner), m_node(std::move(node)), m_writable(writable) {}

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
    if (!m_writable) return 5;
    if (m_node->deleted) return 1018;
    auto& slot = m_node->values[foldName(name)];
    if (slot.first.empty()) slot.first = std::string(name);
    slot.second.type = type;
    slot.second.data.assign(data.begin(), data.end());
    m_owner.countWrite();
    return 0;
  }

  RegCode deleteValue(std::string_view name) override {
    if (!m_writable) return 5;
    if (m_node->deleted) return 1018;
    return m_node->values.erase(foldName(name)) ? 0 : 2;
  }

 private:
  MemoryRegistry& m_owner;
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

}  // namespace

MemoryRegistry::MemoryRegistry() {
  m_hives[0] = std::make_unique<HiveState>();
  m_hives[1] = std::make_unique<HiveState>();
}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::HiveState& MemoryRegistry::state(Hive hive) {
  return *m_hives[hive == Hive::CurrentUser ? 0 : 1];
}
const MemoryRegistry::HiveState& MemoryRegistry::state(Hive hive) const {
  return *m_hives[hive == Hive::CurrentUser ? 0 : 1];
}

void MemoryRegistry::setReadOnly(Hive hive, bool readOnly) { state(hive).readOnly = readOnly; }

void MemoryRegistry::failWritesUnder(Hive hive, std::string_view prefix, RegCode code) {
  state(hive).failing.emplace_back(foldName(prefix), code);
}

RegCode MemoryRegistry::openKey(Hive hive, std::string_view path, KeyAccess access, std::unique_ptr<RegKey>& key) {
  auto& hs = state(hive);
  auto node = findNode(hs.root, path);
  if (!node) return 2;
  const bool write = access == KeyAccess::ReadWrite;
  if (write) {
    if (hs.readOnly) return 5;
    const auto folded = foldName(path);
    for (const auto& [prefix, code] : hs.failing)
      if (folded.starts_with(prefix)) return code;
  }
  key = std::make_unique<MemoryKey>(*this, node, write);
  return 0;
}

RegCode MemoryRegistry::createKey(Hive hive, std::string_view path, std::unique_ptr<RegKey>& key) {
  auto& hs = state(hive);
  if (hs.readOnly) return 5;
  const auto folded = foldName(path);
  for (const auto& [prefix, code] : hs.failing)
    if (folded.starts_with(prefix)) return code;
  auto node = hs.root;
  for (const auto& part : splitKeyPath(path)) {
    auto& child = node->children[foldName(part)];
    if (!child) {
      child = std::make_shared<Node>();
      child->name = part;
    }
    node = child;
  }
  key = std::make_unique<MemoryKey>(*this, node, true);
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
  auto source = findNode(hs.root, from);
  if (!source) return 2;
  if (findNode(hs.root, to)) return kRegAlreadyExists;
  auto parts = splitKeyPath(to);
  if (parts.empty()) return 5;
  const auto leaf = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const auto& part : parts) parentPath += part + "\\";
  auto parent = findNode(hs.root, parentPath);
  if (!parent) return 2;
  auto copy = source->clone();
  copy->name = leaf;
  parent->children[foldName(leaf)] = copy;
  return deleteTree(hive, from);
}

RegCode MemoryRegistry::beginBatch(Hive hive) {
  auto& hs = state(hive);
  hs.batches.push_back(hs.root->clone());
  return 0;
}

RegCode MemoryRegistry::endBatch(Hive hive, bool commit) {
  auto& hs = state(hive);
  if (hs.batches.empty()) return 87;
  if (!commit) hs.root = hs.batches.back();
  hs.batches.pop_back();
  return 0;
}

std::string MemoryRegistry::hiveProblem(Hive) const { return {}; }

void MemoryRegistry::setRaw(Hive hive, std::string_view path, std::string_view name, RegType type,
                            std::vector<std::uint8_t> data) {
  const bool ro = state(hive).readOnly;
  state(hive).readOnly = false;
  std::unique_ptr<RegKey> key;
  createKey(hive, path, key);
  key->setValue(name, type, data);
  state(hive).readOnly = ro;
}

void MemoryRegistry::setText(Hive hive, std::string_view path, std::string_view name, std::string_view text) {
  setRaw(hive, path, name, RegType::Sz, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void MemoryRegistry::setDword(Hive hive, std::string_view path, std::string_view name, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  setRaw(hive, path, name, RegType::Dword,
         {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)});
}

bool MemoryRegistry::hasKey(Hive hive, std::string_view path) const {
  return findNode(state(hive).root, path) != nullptr;
}

bool MemoryRegistry::hasValue(Hive hive, std::string_view path, std::string_view name) const {
  auto node = findNode(state(hive).root, path);
  return node && node->values.count(foldName(name));
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
