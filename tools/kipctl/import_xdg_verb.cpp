#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "conditions/desktop_conditions.h"
#include "engine/launcher.h"
#include "exchange/xdg_autostart.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/program_path.h"
#include "terminal_prompts.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

namespace fs = std::filesystem;

constexpr int kCancelledStatus = 3;
constexpr const char* kImportXdgUsage =
    "usage: kipctl import-xdg [--global] [--dry-run] [--disable-originals] [--yes | --no]\n";
constexpr std::string_view kBackupSuffix = ".kiplaunch-backup";

struct ImportXdgArgs {
  Hive scope = Hive::CurrentUser;
  bool dryRun = false;
  bool disableOriginals = false;
  std::optional<Answer> answer;
};

std::optional<ImportXdgArgs> parseArgs(const std::vector<std::string>& args, Io& io) {
  ImportXdgArgs parsed;
  for (const auto& arg : args) {
    if (arg == "--global") {
      parsed.scope = Hive::LocalMachine;
    } else if (arg == "--dry-run") {
      parsed.dryRun = true;
    } else if (arg == "--disable-originals") {
      parsed.disableOriginals = true;
    } else if (arg == "--yes" || arg == "--no") {
      const Answer answer = arg == "--yes" ? Answer::Yes : Answer::No;
      if (parsed.answer && *parsed.answer != answer) {
        io.err << "kipctl: --yes and --no exclude each other\n" << kImportXdgUsage;
        return std::nullopt;
      }
      parsed.answer = answer;
    } else {
      io.err << "kipctl: unknown argument \"" << arg << "\"\n" << kImportXdgUsage;
      return std::nullopt;
    }
  }
  return parsed;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::optional<std::string> readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

// Writes through a temporary file beside path, so that path holds the old text or the new, never a part.
bool writeWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".kiplaunch-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}

// Hides one original with a per-user Hidden=true entry of the same name: a copy of a system entry, or the
// user's own entry rewritten after it was kept aside. Returns the shell command that undoes it, or nullopt
// after telling why it could not.
std::optional<std::string> hideOriginal(const AutostartEntry& item, const XdgAutostartFolders& folders, Io& io) {
  const auto fail = [&](const std::string& why) -> std::optional<std::string> {
    io.err << "kipctl: " << item.path << " was not hidden: " << why << '\n';
    return std::nullopt;
  };
  const auto original = readWhole(item.path);
  if (!original) return fail("it cannot be read");
  const auto hidden = withHiddenTrue(*original);
  if (!hidden) return fail("it has no [Desktop Entry] group");
  std::error_code ec;
  if (item.perUser) {
    const std::string backup = item.path + std::string(kBackupSuffix);
    if (fs::exists(fs::symlink_status(backup, ec))) return fail(backup + " is in the way");
    // Moved aside rather than copied, so that a link into a system folder comes back as the link it was.
    fs::rename(item.path, backup, ec);
    if (ec) return fail("it cannot be moved aside: " + ec.message());
    if (!writeWhole(item.path, *hidden)) {
      fs::rename(backup, item.path, ec);
      return fail("it cannot be written");
    }
    return "mv -- " + shellQuoted(backup) + " " + shellQuoted(item.path);
  }
  if (folders.user.empty()) return fail("there is no per-user autostart folder (HOME is not set)");
  const std::string target = folders.user + "/" + item.id;
  fs::create_directories(folders.user, ec);
  if (fs::exists(fs::symlink_status(target, ec))) return fail(target + " is in the way");
  if (!writeWhole(target, *hidden)) return fail(target + " cannot be written");
  return "rm -- " + shellQuoted(target);
}

std::string describe(const AutostartEntry& item, const std::string& name) {
  const StartDefinition& def = *item.definition;
  std::string text = "\"" + name + "\": " + commandText(def);
  if (def.Delay > 0) text += ", delay " + std::to_string(def.Delay) + " s";
  if (def.Sequence > 0) text += ", sequence " + std::to_string(def.Sequence);
  if (const std::string conditions = desktopConditionsText(def); !conditions.empty()) text += ", " + conditions;
  text += " (" + item.path;
  if (name != def.Name) text += "; \"" + def.Name + "\" is taken";
  return text + ")";
}

}  // namespace

// kipctl import-xdg: the desktop's autostart entries become definitions of one scope. Exit 0; 1 when
// something could not be read, saved or hidden; 3 when cancelled (what came before is saved).
int runImportXdg(const std::vector<std::string>& args, Io& io) {
  const auto parsed = parseArgs(args, io);
  if (!parsed) return 1;
  const XdgAutostartFolders folders =
      xdgAutostartFolders(std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_CONFIG_DIRS"), std::getenv("HOME"));
  const std::vector<AutostartEntry> entries = scanXdgAutostart(folders, programInPath);
  for (const auto& item : entries) {
    for (const auto& note : item.entry.ignored) io.out << item.path << ':' << note.line << ": " << note.message << '\n';
    if (item.definition && !item.definition->AutostartCondition.empty() &&
        !isKnownAutostartCondition(item.definition->AutostartCondition))
      io.out << item.path << ": the condition \"" << item.definition->AutostartCondition
             << "\" is of no form this program tests; the definition will not start until it is changed\n";
    if (item.verdict == AutostartVerdict::Malformed) {
      io.err << item.path;
      if (item.reasonLine > 0) io.err << ':' << item.reasonLine;
      io.err << ": " << item.reason << "; not imported\n";
    } else if (item.verdict == AutostartVerdict::NotStarted)
      io.out << "not started by the desktop: " << item.path << " (" << item.reason << ")\n";
  }

  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 1;
  }
  TerminalPrompts prompts(io, parsed->answer);
  const XdgImportResult result = importXdgAutostart(*registry, parsed->scope, entries, prompts, parsed->dryRun);
  if (!parsed->dryRun && !result.save) {
    io.err << "kipctl: " << result.message << '\n';
    return 1;
  }

  // Only what was saved may have its original hidden, or it would start nowhere.
  const auto saved = [&](const std::string& name) {
    if (parsed->dryRun) return true;
    const SaveOutcome& save = *result.save;
    return save.startListOpened &&
           std::find(save.invalidNames.begin(), save.invalidNames.end(), name) == save.invalidNames.end() &&
           std::find(save.unwritableNames.begin(), save.unwritableNames.end(), name) == save.unwritableNames.end() &&
           std::none_of(save.overlongTexts.begin(), save.overlongTexts.end(),
                        [&](const auto& overlong) { return overlong.first == name; });
  };
  std::size_t stored = 0;
  std::size_t refused = 0;
  std::size_t unchanged = 0;
  std::vector<std::string> undo;
  bool hideFailed = false;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = result.names[i];
    switch (result.actions[i]) {
      case AutostartImport::Added:
      case AutostartImport::Overwritten: {
        const bool added = result.actions[i] == AutostartImport::Added;
        if (!saved(name)) {
          io.out << "not stored: " << describe(entries[i], name) << '\n';
          ++refused;
          continue;
        }
        io.out << (parsed->dryRun ? "would add "
                   : added        ? "added "
                                  : "overwrote ")
               << describe(entries[i], name) << '\n';
        ++stored;
        break;
      }
      case AutostartImport::Unchanged:
        io.out << "already in the list: " << describe(entries[i], name) << '\n';
        ++unchanged;
        break;
      case AutostartImport::Clash:
        io.out << "would ask before overwriting " << describe(entries[i], name) << '\n';
        continue;
      case AutostartImport::Kept:
        io.out << "kept the stored \"" << name << "\"; " << entries[i].path << " not imported\n";
        continue;
      case AutostartImport::NotReached:
        continue;
    }
    if (!parsed->disableOriginals || !saved(name)) continue;
    if (parsed->dryRun) {
      io.out << "would hide " << entries[i].path << " with Hidden=true\n";
    } else if (auto command = hideOriginal(entries[i], folders, io)) {
      undo.push_back(std::move(*command));
    } else {
      hideFailed = true;
    }
  }
  if (parsed->dryRun)
    io.out << "would store " << stored;
  else
    io.out << "stored " << stored << ", refused " << refused;
  if (unchanged > 0) io.out << ", already in the list " << unchanged;
  io.out << '\n';
  if (!undo.empty()) {
    io.out << "The imported entries no longer start by themselves (Hidden=true). To undo that:\n";
    for (const auto& command : undo) io.out << "  " << command << '\n';
  }
  if (!result.message.empty()) io.err << "kipctl: " << result.message << '\n';
  if (!result.message.empty() || hideFailed) return 1;
  return result.cancelled ? kCancelledStatus : 0;
}

}  // namespace kip::ctl
