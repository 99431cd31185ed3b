#include "ctl/reg_command.h"

#include "base/utf8.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>

#include "ctl/code_page.h"
#include "ctl/one_line.h"
#include "ctl/reg_code_text.h"
#include "ctl/reg_file_reader.h"
#include "ctl/reg_file_writer.h"
#include "ctl/reg_value_text.h"
#include "platform/file_replace.h"

namespace kip {

namespace {

constexpr std::string_view kKeyHint =
    "(a key begins with HKCU\\ or HKLM\\, or HKEY_CURRENT_USER\\, HKEY_LOCAL_MACHINE\\)";

// The options each operation accepts, spelled without their "/" or "-".
struct OperationSpec {
  std::string_view name;
  std::size_t positionals;
  std::string_view positionalNames;
  std::vector<std::string_view> options;
};

const std::vector<OperationSpec>& operationSpecs() {
  static const std::vector<OperationSpec> specs{
      {"query", 1, "KEY", {"v", "ve", "s"}},  {"add", 1, "KEY", {"v", "ve", "t", "d", "f"}},
      {"delete", 1, "KEY", {"v", "ve", "f"}}, {"export", 2, "KEY and FILE", {"y"}},
      {"import", 1, "FILE", {"cp"}},
  };
  return specs;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// "v" for "/v", "-V", ...; nullopt for anything that does not look like an option.
std::optional<std::string> optionName(std::string_view arg) {
  if (arg.size() < 2 || (arg.front() != '/' && arg.front() != '-')) return std::nullopt;
  return lower(arg.substr(1));
}

using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The whole file, or nullopt with errno's text in problem.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::string& problem) {
  FileHandle file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  for (;;) {
    const auto count = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.insert(bytes.end(), buffer, buffer + count);
    if (count < sizeof buffer) break;
  }
  if (std::ferror(file.get())) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  return bytes;
}

// The stored spelling of a value's name in an open key, found by enumeration; nullopt when it is missing.
std::optional<std::pair<std::string, RegValue>> findValue(RegKey& key, std::string_view name) {
  const auto wanted = foldName(name);
  std::string stored;
  RegValue value;
  for (std::uint32_t index = 0; key.enumValue(index, stored, value) == 0; ++index)
    if (foldName(stored) == wanted) return std::make_pair(stored, value);
  return std::nullopt;
}

std::string queryLine(const std::string& name, const RegValue& value) {
  return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + regTypeName(value.type) + "    " +
         formatQueryData(value) + "\n";
}

std::string quotedProblem(std::string_view problem, std::string_view arg) {
  std::string text(problem);
  text += " \"";
  text += arg;
  text += '"';
  return text;
}

std::string valueLabel(std::string_view name) { return name.empty() ? "(Default)" : std::string(name); }

}  // namespace

struct RegCommand::Options {
  std::string operation;
  std::vector<std::string> positionals;
  // Set by /v NAME, or to the empty name by /ve.
  std::optional<std::string> valueName;
  std::optional<std::string> type;
  std::optional<std::string> data;
  bool recurse = false;
  bool force = false;
  bool overwrite = false;
  std::optional<std::string> codePage;
};

int RegCommand::failure(const std::string& message) {
  m_console.err << "kipctl: " << oneLine(message) << "\n";
  return 1;
}

std::string RegCommand::describe(RegCode code, Hive hive) const { return describeRegCode(code, m_registry, hive); }

std::string RegCommand::missingKey(const RegKeyName& key) const {
  // A damaged hive hides every key: saying which one is missing would mislead.
  if (auto hiveProblem = m_registry.hiveProblem(key.hive); !hiveProblem.empty()) return hiveProblem;
  return "the key " + key.fullName() + " does not exist";
}

int RegCommand::run(const std::vector<std::string>& args) {
  if (args.empty()) return failure("reg: missing operation (query, add, delete, export or import)");
  const auto operation = lower(args.front());
  const OperationSpec* spec = nullptr;
  for (const auto& candidate : operationSpecs())
    if (candidate.name == operation) spec = &candidate;
  if (!spec) return failure("reg: unknown operation \"" + args.front() + "\" (query, add, delete, export or import)");

  Options options;
  options.operation = operation;
  const std::string context = "reg " + operation + ": ";
  const bool filesOnly = operation == "export" || operation == "import";
  for (std::size_t i = 1; i < args.size(); ++i) {
    const auto& arg = args[i];
    const auto name = optionName(arg);
    const bool known =
        name && std::find(spec->options.begin(), spec->options.end(), std::string_view(*name)) != spec->options.end();
    if (!known) {
      // File names may begin with "/" or "-"; elsewhere such an argument is a mistyped option.
      if (name && !filesOnly) return failure(context + quotedProblem("unknown option", arg));
      if (options.positionals.size() == spec->positionals)
        return failure(context + quotedProblem("unexpected argument", arg));
      options.positionals.push_back(arg);
      continue;
    }
    const auto takeArgument = [&]() -> std::optional<std::string> {
      if (i + 1 == args.size()) return std::nullopt;
      return args[++i];
    };
    if (*name == "v" || *name == "ve") {
      if (options.valueName) return failure(context + "give /v NAME or /ve once");
      if (*name == "ve") {
        options.valueName = std::string();
      } else if (auto value = takeArgument()) {
        options.valueName = std::move(*value);
      } else {
        return failure(context + "/v needs a value name");
      }
    } else if (*name == "t" || *name == "d") {
      auto& slot = *name == "t" ? options.type : options.data;
      if (slot) return failure(context + "/" + *name + " given more than once");
      slot = takeArgument();
      if (!slot) return failure(context + (*name == "t" ? "/t needs a type" : "/d needs the data"));
    } else if (*name == "s") {
      options.recurse = true;
    } else if (*name == "f") {
      options.force = true;
    } else if (*name == "y") {
      options.overwrite = true;
    } else if (*name == "cp") {
      if (options.codePage) return failure(context + "/cp given more than once");
      options.codePage = takeArgument();
      if (!options.codePage) return failure(context + "/cp needs a code page number");
    }
  }
  if (options.positionals.size() < spec->positionals)
    return failure(context + "missing " + std::string(spec->positionalNames));

  if (operation == "query") return query(options);
  if (operation == "add") return add(options);
  if (operation == "delete") return remove(options);
  if (operation == "export") return exportKey(options);
  return importFile(options);
}

namespace {

std::optional<RegKeyName> parseKeyArgument(const std::string& text, std::string& problem) {
  auto key = RegKeyName::parse(text);
  if (!key) problem = "\"" + text + "\" is not a registry key " + std::string(kKeyHint);
  return key;
}

}  // namespace

int RegCommand::query(const Options& options) {
  std::string problem;
  const auto key = parseKeyArgument(options.positionals[0], problem);
  if (!key) return failure(problem);
  const auto stored = storedKeyPath(m_registry, key->hive, key->path);
  if (!stored) return failure(missingKey(*key));

  const RegKeyName top{key->hive, *stored};
  std::vector<RegKeyName> pending{top};
  bool foundValue = false;
  std::string text;
  while (!pending.empty()) {
    const auto current = std::move(pending.back());
    pending.pop_back();
    std::unique_ptr<RegKey> handle;
    if (const auto code = m_registry.openKey(current.hive, current.path, KeyAccess::Read, handle); code != 0)
      return failure("cannot read " + current.fullName() + ": " + describe(code, current.hive));
    const bool isTop = current.path == top.path;
    const std::string separator = isTop ? "" : "\n";
    if (options.valueName) {
      if (auto found = findValue(*handle, *options.valueName)) {
        text += separator + current.fullName() + "\n" + queryLine(found->first, found->second);
        foundValue = true;
      } else if (isTop && options.valueName->empty()) {
        // A key always has a default value to show, set or not.
        text += current.fullName() + "\n    (Default)    REG_SZ    (value not set)\n";
        foundValue = true;
      }
    } else {
      text += separator + current.fullName() + "\n";
      std::string name;
      RegValue value;
      for (std::uint32_t index = 0; handle->enumValue(index, name, value) == 0; ++index) text += queryLine(name, value);
    }
    std::vector<std::string> children;
    std::string name;
    for (std::uint32_t index = 0; handle->enumKey(index, name) == 0; ++index) children.push_back(name);
    if (!options.recurse) {
      // The direct subkeys follow the values, as one more block.
      if (!options.valueName && !children.empty()) {
        text += "\n";
        for (const auto& child : children) text += current.child(child).fullName() + "\n";
      }
      break;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(current.child(*it));
  }
  if (options.valueName && !foundValue)
    return failure("the value " + valueLabel(*options.valueName) + " does not exist in " + top.fullName() +
                   (options.recurse ? " or below it" : ""));
  m_console.out << text;
  m_console.out.flush();
  return 0;
}

int RegCommand::add(const Options& options) {
  std::string problem;
  const auto key = parseKeyArgument(options.positionals[0], problem);
  if (!key) return failure(problem);
  if (!options.valueName && (options.type || options.data)) return failure("reg add: /t and /d need /v NAME or /ve");
  // A name that is no UTF-8 could not be exported and read back as it is.
  if (findInvalidUtf8(key->path) != std::string::npos)
    return failure("reg add: the key name holds bytes that are no UTF-8");
  if (options.valueName && findInvalidUtf8(*options.valueName) != std::string::npos)
    return failure("reg add: the value name holds bytes that are no UTF-8");
  const auto type = options.type ? parseAddType(*options.type) : std::optional<RegType>(RegType::Sz);
  if (!type)
    return failure("reg add: unknown type \"" + *options.type + "\" (REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY)");
  std::vector<std::uint8_t> data;
  if (options.data) {
    auto parsed = parseAddData(*type, *options.data, problem);
    if (!parsed) return failure(problem);
    data = std::move(*parsed);
  } else if (*type == RegType::Dword) {
    data.assign(4, 0);
  }

  if (options.valueName && !options.force) {
    std::unique_ptr<RegKey> existing;
    if (m_registry.openKey(key->hive, key->path, KeyAccess::Read, existing) == 0 &&
        findValue(*existing, *options.valueName))
      return failure("the value " + valueLabel(*options.valueName) + " already exists in " + key->fullName() +
                     "; add /f to overwrite it");
  }

  const auto hive = key->hive;
  if (const auto code = m_registry.beginBatch(hive); code != 0)
    return failure("cannot write " + key->fullName() + ": " + describe(code, hive));
  RegCode code = 0;
  std::string what = "create " + key->fullName();
  {
    std::unique_ptr<RegKey> handle;
    code = m_registry.createKey(hive, key->path, handle);
    if (code == 0 && options.valueName) {
      what = "write the value " + valueLabel(*options.valueName) + " of " + key->fullName();
      code = handle->setValue(*options.valueName, *type, data);
    }
  }
  const auto endCode = m_registry.endBatch(hive, code == 0);
  if (code == 0) code = endCode;
  if (code != 0) return failure("cannot " + what + ": " + describe(code, hive));
  return 0;
}

bool RegCommand::confirm(const std::string& question, const std::string& action, const std::string& howToSkip,
                         const std::string& refused) {
  if (!m_console.inputIsTerminal) {
    failure("standard input is not a terminal, so " + action + " cannot be confirmed; " + howToSkip);
    return false;
  }
  m_console.out << question << " " << std::flush;
  std::string answer;
  if (!std::getline(m_console.in, answer)) {
    m_console.out << "\n";
    failure("no answer at the end of input; " + howToSkip);
    return false;
  }
  while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ' || answer.back() == '\t')) answer.pop_back();
  while (!answer.empty() && (answer.front() == ' ' || answer.front() == '\t')) answer.erase(answer.begin());
  const auto folded = lower(answer);
  if (folded == "y" || folded == "yes") return true;
  failure(refused);
  return false;
}

int RegCommand::remove(const Options& options) {
  std::string problem;
  const auto key = parseKeyArgument(options.positionals[0], problem);
  if (!key) return failure(problem);
  const auto hive = key->hive;
  if (!options.valueName && key->path.empty()) return failure("refusing to delete the whole hive " + key->fullName());
  const auto stored = storedKeyPath(m_registry, hive, key->path);
  if (!stored) return failure(missingKey(*key));
  const RegKeyName target{hive, *stored};

  std::string valueName;
  if (options.valueName) {
    std::unique_ptr<RegKey> handle;
    if (const auto code = m_registry.openKey(hive, target.path, KeyAccess::Read, handle); code != 0)
      return failure("cannot read " + target.fullName() + ": " + describe(code, hive));
    const auto found = findValue(*handle, *options.valueName);
    if (!found)
      return failure("the value " + valueLabel(*options.valueName) + " does not exist in " + target.fullName());
    valueName = found->first;
  }

  if (!options.force) {
    const auto question = options.valueName ? "Delete the registry value " + valueLabel(valueName) + " (Yes/No)?"
                                            : "Delete the registry key " + target.fullName() + " (Yes/No)?";
    if (!confirm(question, "the deletion", "add /f to delete without being asked", "nothing was deleted")) return 1;
  }

  if (!options.valueName) {
    if (const auto code = m_registry.deleteTree(hive, target.path); code != 0)
      return failure("cannot delete " + target.fullName() + ": " + describe(code, hive));
    return 0;
  }
  std::unique_ptr<RegKey> handle;
  auto code = m_registry.openKey(hive, target.path, KeyAccess::ReadWrite, handle);
  if (code == 0) code = handle->deleteValue(valueName);
  if (code != 0)
    return failure("cannot delete the value " + valueLabel(valueName) + " of " + target.fullName() + ": " +
                   describe(code, hive));
  return 0;
}

int RegCommand::exportKey(const Options& options) {
  std::string problem;
  const auto key = parseKeyArgument(options.positionals[0], problem);
  if (!key) return failure(problem);
  const auto& path = options.positionals[1];
  const auto text = RegFileWriter(m_registry).exportTree(*key, problem);
  if (!text) return failure(problem);
  struct stat existing {};
  if (!options.overwrite && ::lstat(path.c_str(), &existing) == 0 &&
      !confirm("File " + path + " already exists. Overwrite (Yes/No)?", "replacing " + path,
               "add /y to replace it without being asked", "nothing was exported"))
    return 1;
  if (auto reason = replaceFile(path, *text); !reason.empty()) return failure("cannot write " + path + ": " + reason);
  // Written, but without what the format cannot carry.
  if (!problem.empty()) return failure(problem);
  return 0;
}

int RegCommand::importFile(const Options& options) {
  const auto& path = options.positionals[0];
  unsigned codePage = kDefaultCodePage;
  if (options.codePage) {
    const auto& text = *options.codePage;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), codePage);
    if (ec != std::errc() || end != text.data() + text.size() || !isKnownCodePage(codePage))
      return failure("reg import: unknown code page \"" + text + "\" (1250, 1251, 1252, 936, ...)");
  }
  std::string problem;
  const auto bytes = readFile(path, problem);
  if (!bytes) return failure("cannot read " + path + ": " + problem);
  const auto outcome = RegFileReader(m_registry).import(*bytes, codePage);
  if (outcome.codePage)
    m_console.err << "kipctl: " << path << ": not UTF-8; read in Windows code page " << *outcome.codePage << "\n";
  for (const auto& ignored : outcome.ignored)
    m_console.err << "kipctl: " << path << ":" << ignored.line << ": " << oneLine(ignored.message) << "\n";
  // Each bad line costs its own key section; the others are imported.
  for (const auto& bad : outcome.problems) failure(path + ":" + std::to_string(bad.line) + ": " + bad.message);
  return outcome.problems.empty() ? 0 : 1;
}

}  // namespace kip
