#include "exchange/xdg_autostart.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "base/blank_trim.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"
#include "exchange/scope_definition_list.h"

namespace kip {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffix = ".desktop";

bool isAbsolute(const char* path) { return path && path[0] == '/'; }

std::vector<std::string_view> splitList(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  while (!text.empty()) {
    const auto at = text.find(separator);
    if (at != 0) items.push_back(text.substr(0, at));
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + 1);
  }
  return items;
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& item : items) {
    if (!out.empty()) out += ';';
    out += item;
  }
  return out;
}

// The desktop's decision for a well-formed entry that holds at every logon; empty when it starts it. What
// depends on the logon (the desktop, TryExec, AutostartCondition) goes into the definition instead.
std::string notStartedReason(const DesktopEntry& entry) {
  if (entry.hidden) return "Hidden=true";
  if (!entry.autostartEnabled) return "X-GNOME-Autostart-enabled=false";
  if (entry.type != "Application") return entry.type.empty() ? "no Type=Application" : "Type=" + entry.type;
  return {};
}

AutostartEntry judge(std::string id, std::string path, bool perUser, const ProgramInstalled& installed) {
  AutostartEntry item;
  item.id = std::move(id);
  item.path = std::move(path);
  item.perUser = perUser;
  item.entry = readDesktopEntryFile(item.path);
  if (!item.entry.problems.empty()) {
    item.verdict = AutostartVerdict::Malformed;
    item.reason = item.entry.problems.front().message;
    item.reasonLine = item.entry.problems.front().line;
    return item;
  }
  item.reason = notStartedReason(item.entry);
  if (!item.reason.empty()) {
    item.verdict = AutostartVerdict::NotStarted;
    return item;
  }
  const std::string fallback = item.id.substr(0, item.id.size() - kSuffix.size());
  item.definition = definitionFromDesktopEntry(item.entry, fallback, item.reason, terminalCommand(installed));
  if (!item.definition) {
    item.verdict = AutostartVerdict::Malformed;
    return item;
  }
  StartDefinition& def = *item.definition;
  def.DesktopEntryId = item.id;
  def.OnlyShowIn = joined(item.entry.onlyShowIn);
  def.NotShowIn = joined(item.entry.notShowIn);
  def.TryExec = item.entry.tryExec;
  if (!item.entry.autostartCondition.empty())
    def.AutostartCondition = item.entry.autostartCondition;
  else if (!item.entry.kdeAutostartCondition.empty())
    def.AutostartCondition = "KDE " + item.entry.kdeAutostartCondition;
  if (const auto field = overlongTextField(def)) {
    item.reason =
        std::string(*field) + " is longer than the " + std::to_string(kMaxTextLength) + " bytes a definition holds";
    item.definition.reset();
    item.verdict = AutostartVerdict::Malformed;
  }
  return item;
}

// The desktop session's start phases in the order it runs them; an entry without one, or with another, is an
// application.
constexpr std::string_view kPhases[] = {
    "EarlyInitialization", "PreDisplayServer", "DisplayServer", "Initialization", "WindowManager", "Panel", "Desktop",
    "Applications"};

std::int32_t phaseRank(std::string_view phase) {
  for (std::size_t i = 0; i < std::size(kPhases); ++i)
    if (kPhases[i] == phase) return static_cast<std::int32_t>(i) + 1;
  return static_cast<std::int32_t>(std::size(kPhases));
}

// Where some entry belongs to a phase before the applications, every entry's phase becomes its sequence group,
// so that the groups start in the desktop's order; otherwise all stay in the first group.
void orderByPhase(std::vector<AutostartEntry>& entries) {
  const std::int32_t applications = phaseRank("Applications");
  const bool phased = std::any_of(entries.begin(), entries.end(), [&](const AutostartEntry& item) {
    return item.definition && phaseRank(item.entry.autostartPhase) < applications;
  });
  if (!phased) return;
  for (auto& item : entries)
    if (item.definition) item.definition->Sequence = phaseRank(item.entry.autostartPhase);
}

// The *.desktop files of one folder by name; a missing or unreadable folder has none.
std::map<std::string, std::string> desktopFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (folder.empty()) return files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix)) files.emplace(name, it->path().string());
  }
  return files;
}

}  // namespace

XdgAutostartFolders xdgAutostartFolders(const char* configHome, const char* configDirs, const char* home) {
  XdgAutostartFolders folders;
  if (isAbsolute(configHome))
    folders.user = std::string(configHome) + "/autostart";
  else if (isAbsolute(home))
    folders.user = std::string(home) + "/.config/autostart";
  for (const auto dir : splitList(configDirs ? configDirs : "", ':'))
    if (dir.front() == '/') folders.system.push_back(std::string(dir) + "/autostart");
  if (folders.system.empty()) folders.system.push_back("/etc/xdg/autostart");
  return folders;
}

std::vector<AutostartEntry> scanXdgAutostart(const XdgAutostartFolders& folders, const ProgramInstalled& installed) {
  std::map<std::string, std::pair<std::string, bool>> chosen;  // id -> path, per user
  for (const auto& [id, path] : desktopFiles(folders.user)) chosen.emplace(id, std::pair(path, true));
  for (const auto& folder : folders.system)
    for (const auto& [id, path] : desktopFiles(folder)) chosen.emplace(id, std::pair(path, false));
  std::vector<AutostartEntry> entries;
  for (const auto& [id, file] : chosen) entries.push_back(judge(id, file.first, file.second, installed));
  orderByPhase(entries);
  return entries;
}

XdgImportResult importXdgAutostart(Registry& registry, Hive scope, const std::vector<AutostartEntry>& entries,
                                   Prompts& prompts, bool dryRun) {
  XdgImportResult result;
  result.actions.assign(entries.size(), AutostartImport::NotReached);
  result.names.resize(entries.size());
  if (auto problem = registry.hiveProblem(scope); !problem.empty()) {
    result.message = std::move(problem);
    return result;
  }
  std::vector<DefinitionPtr> stored;
  DefinitionStore(registry).load(scope, false, stored);
  ScopeDefinitionList list(stored);

  // The definitions an earlier import made from each entry file, and those this run has matched already.
  std::map<std::string, std::size_t> byEntry;
  for (std::size_t row = 0; row < list.itemCount(); ++row) {
    const DefinitionPtr def = list.itemDefinition(row);
    if (!def->DesktopEntryId.empty()) byEntry.emplace(def->DesktopEntryId, row);
  }
  std::set<DefinitionPtr> matched;

  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].definition) continue;
    const StartDefinition& fresh = *entries[i].definition;
    result.names[i] = fresh.Name;
    // The entry's own definition; else one of its name that came from no entry file (made by hand or by an
    // import that did not record its file), which the question may replace. A definition another entry made
    // is never taken: that entry keeps its program, and this one is added under the next free name.
    std::optional<std::size_t> row;
    if (const auto own = byEntry.find(fresh.DesktopEntryId); own != byEntry.end()) {
      row = own->second;
    } else if (const auto named = list.findItem(fresh.Name)) {
      const DefinitionPtr def = list.itemDefinition(*named);
      if (def->DesktopEntryId.empty() && !matched.contains(def)) row = named;
    }
    const DefinitionPtr existing = row ? list.itemDefinition(*row) : nullptr;
    if (!existing) {
      auto def = std::make_shared<StartDefinition>(fresh);
      def->Changed = true;
      list.AddRow(def);  // gives the next free name, and keeps dry runs seeing their own additions
      byEntry.emplace(def->DesktopEntryId, list.itemCount() - 1);
      matched.insert(def);
      result.names[i] = def->Name;
      result.actions[i] = AutostartImport::Added;
      continue;
    }
    matched.insert(existing);
    result.names[i] = existing->Name;
    StartDefinition updated = *existing;
    copyExchangeFields(fresh, updated);
    updated.Name = existing->DesktopEntryId.empty() ? fresh.Name : existing->Name;
    updated.DesktopEntryId = fresh.DesktopEntryId;
    if (sameExchangeFields(updated, *existing) && updated.DesktopEntryId == existing->DesktopEntryId) {
      result.actions[i] = AutostartImport::Unchanged;
      continue;
    }
    if (dryRun) {
      result.actions[i] = AutostartImport::Clash;
      continue;
    }
    const Answer answer = prompts.question(overwriteQuestion(existing->Name));
    if (answer == Answer::Cancel) {
      result.cancelled = true;
      break;
    }
    if (answer == Answer::No) {
      result.actions[i] = AutostartImport::Kept;
      continue;
    }
    *existing = std::move(updated);
    existing->Changed = true;
    list.RefreshRow(*row);
    result.actions[i] = AutostartImport::Overwritten;
  }
  if (dryRun) return result;

  const std::vector<DefinitionPtr> rows = list.definitions();
  result.save = DefinitionStore(registry).save(scope, {}, rows);
  result.message =
      result.save->startListOpened ? unsavedDefinitionsMessage(*result.save) : std::string(kSaveOpenErrorMessage);
  return result;
}

std::optional<std::string> withHiddenTrue(std::string_view text) {
  std::string out;
  std::optional<std::size_t> insertAt;  // in out, just after the [Desktop Entry] header
  std::string headerEnding = "\n";
  bool inEntry = false;
  bool replaced = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    text.remove_prefix(line.size());
    const std::string_view ending = line.ends_with("\r\n") ? "\r\n" : line.ends_with('\n') ? "\n" : "";
    const std::string_view body = trimRight(trimLeft(line.substr(0, line.size() - ending.size())));
    if (body.starts_with('[')) {
      inEntry = !insertAt && body == "[Desktop Entry]";
      out += line;
      if (inEntry) {
        if (ending.empty()) out += '\n';
        if (ending == "\r\n") headerEnding = "\r\n";
        insertAt = out.size();
      }
      continue;
    }
    const std::string_view key = trimRight(body.substr(0, std::min(body.find('='), body.size())));
    if (inEntry && !replaced && key == "Hidden" && body.find('=') != std::string_view::npos) {
      out += "Hidden=true";
      out += ending;
      replaced = true;
      continue;
    }
    out += line;
  }
  if (!insertAt) return std::nullopt;
  if (!replaced) out.insert(*insertAt, "Hidden=true" + headerEnding);
  return out;
}

}  // namespace kip
