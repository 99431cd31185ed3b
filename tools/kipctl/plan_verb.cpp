#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>

#include "conditions/condition_evaluator.h"
#include "conditions/host_probe_runner.h"
#include "conditions/probe_answers.h"
#include "engine/launcher.h"
#include "engine/start_plan.h"
#include "engine/start_queue.h"
#include "model/definition_store.h"
#include "model/environment_snapshot.h"
#include "model/preferences.h"
#include "net/system_name_resolver.h"
#include "platform/linux/linux_group_membership.h"
#include "platform/linux/linux_network_services.h"
#include "platform/linux/linux_system_info.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/window_session.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

constexpr int kUsageStatus = 2;
constexpr const char* kPlanUsage =
    "usage: kipctl plan [--global] [--at \"YYYY-MM-DD HH:MM\"] [--mains | --battery PERCENT] [--user NAME]\n"
    "                   [--config NAME] [--network | --no-network] [--dialup | --no-dialup]\n"
    "                   [--present RESOURCE]... [--absent RESOURCE]... [--desktop NAMES]\n"
    "                   [--installed PROGRAM]... [--missing PROGRAM]... [--met CONDITION]...\n"
    "                   [--unmet CONDITION]... [--json]\n";
// The codes the network probe gives when there is no network, and the one given for an absent resource.
constexpr std::int32_t kNoNetworkCode = -1222;
constexpr std::int32_t kAbsentCode = -1;
constexpr std::string_view kDisabledResult = "DISABLED";

// The facts the options put in place of the real ones; each one absent leaves the real fact.
struct PlanOptions {
  bool global = false;
  bool json = false;
  std::optional<DateTime> at;
  std::optional<PowerStatus> power;
  std::optional<std::string> user;
  std::optional<std::string> config;
  std::optional<std::int32_t> network;
  std::optional<std::int32_t> dialUp;
  ProbeAnswers answers;
  std::optional<std::string> desktops;     // $XDG_CURRENT_DESKTOP of the planned logon
  std::map<std::string, bool> programs;    // installed or missing, for TryExec
  std::map<std::string, bool> conditions;  // autostart conditions that hold or do not
};

// "YYYY-MM-DD HH:MM", a real date and time of day.
std::optional<DateTime> parseMoment(std::string_view text) {
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':') return std::nullopt;
  const auto field = [&](std::size_t at, std::size_t length) -> std::optional<int> {
    int value = 0;
    const auto* begin = text.data() + at;
    const auto [end, ec] = std::from_chars(begin, begin + length, value);
    if (ec != std::errc() || end != begin + length || *begin == '-' || *begin == '+') return std::nullopt;
    return value;
  };
  const auto year = field(0, 4), month = field(5, 2), day = field(8, 2), hour = field(11, 2), minute = field(14, 2);
  if (!year || !month || !day || !hour || !minute || *year < 1 || *month < 1 || *month > 12 || *day < 1 || *hour > 23 ||
      *minute > 59)
    return std::nullopt;
  int y = 0, m = 0, d = 0;
  civilFromDays(daysFromCivil(*year, *month, *day), y, m, d);
  if (d != *day) return std::nullopt;  // 31 April and the like
  return encodeDateTime({*year, *month, *day, *hour, *minute, 0, 0});
}

std::optional<int> parsePercent(std::string_view text) {
  int value = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 100) return std::nullopt;
  return value;
}

// Parses the options; nullopt after telling what is wrong.
std::optional<PlanOptions> parseOptions(const std::vector<std::string>& args, Io& io) {
  PlanOptions options;
  std::map<std::string, bool> resources;  // present or absent, to catch a resource given both ways
  const auto fail = [&](const std::string& why) {
    io.err << "kipctl plan: " << why << '\n' << kPlanUsage;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--at" || arg == "--battery" || arg == "--user" || arg == "--config" ||
                            arg == "--present" || arg == "--absent" || arg == "--desktop" || arg == "--installed" ||
                            arg == "--missing" || arg == "--met" || arg == "--unmet";
    if (takesValue && i + 1 == args.size()) return fail(arg + " needs a value");
    const std::string value = takesValue ? args[++i] : std::string();
    if (arg == "--global") {
      options.global = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--at") {
      options.at = parseMoment(value);
      if (!options.at) return fail("--at wants a date and time as \"YYYY-MM-DD HH:MM\", not \"" + value + "\"");
    } else if (arg == "--mains" || arg == "--battery") {
      if (options.power) return fail("give --mains or --battery once");
      if (arg == "--mains") {
        options.power = PowerStatus{1, 255};
      } else {
        const auto percent = parsePercent(value);
        if (!percent) return fail("--battery wants a percentage from 0 to 100, not \"" + value + "\"");
        options.power = PowerStatus{0, *percent};
      }
    } else if (arg == "--user") {
      options.user = value;
    } else if (arg == "--config") {
      options.config = value;
    } else if (arg == "--network" || arg == "--no-network") {
      if (options.network) return fail("give --network or --no-network once");
      options.network = arg == "--network" ? 1 : kNoNetworkCode;
    } else if (arg == "--dialup" || arg == "--no-dialup") {
      if (options.dialUp) return fail("give --dialup or --no-dialup once");
      options.dialUp = arg == "--dialup" ? 1 : -1;
    } else if (arg == "--present" || arg == "--absent") {
      const bool present = arg == "--present";
      const auto [it, inserted] = resources.emplace(value, present);
      if (!inserted && it->second != present) return fail("\"" + value + "\" is given as present and as absent");
      options.answers.set(value, present ? 1 : kAbsentCode);
    } else if (arg == "--desktop") {
      options.desktops = value;
    } else if (arg == "--installed" || arg == "--missing" || arg == "--met" || arg == "--unmet") {
      const bool yes = arg == "--installed" || arg == "--met";
      auto& facts = arg == "--installed" || arg == "--missing" ? options.programs : options.conditions;
      const auto [it, inserted] = facts.emplace(value, yes);
      if (!inserted && it->second != yes) return fail("\"" + value + "\" is given both ways");
    } else {
      return fail("unknown option \"" + arg + "\"");
    }
  }
  return options;
}

// The system's facts, with the power status the options give in place of the live one.
class PlanSystemInfo final : public SystemInfo {
 public:
  PlanSystemInfo(SystemInfo& inner, const PlanOptions& options) : m_inner(inner), m_options(options) {}
  [[nodiscard]] bool isNT() const override { return m_inner.isNT(); }
  std::optional<std::string> userName() override { return m_inner.userName(); }
  std::optional<PowerStatus> powerStatus() override {
    return m_options.power ? m_options.power : m_inner.powerStatus();
  }
  std::string currentDesktops() override {
    return m_options.desktops ? *m_options.desktops : m_inner.currentDesktops();
  }
  bool programInstalled(std::string_view program) override {
    const auto it = m_options.programs.find(std::string(program));
    return it != m_options.programs.end() ? it->second : m_inner.programInstalled(program);
  }
  // --met and --unmet answer the file and settings questions their conditions ask; others go to the system.
  std::optional<std::string> configFile(std::string_view path) override {
    const std::string file(path);
    if (const auto it = m_options.conditions.find("if-exists " + file); it != m_options.conditions.end())
      return it->second ? std::optional<std::string>("") : std::nullopt;
    if (const auto it = m_options.conditions.find("unless-exists " + file); it != m_options.conditions.end())
      return it->second ? std::nullopt : std::optional<std::string>("");
    std::string text;  // "KDE FILE:GROUP:KEY:DEFAULT" answered as a file that sets KEY
    for (const auto& [condition, holds] : m_options.conditions) {
      const std::string prefix = "KDE " + file + ":";
      if (!condition.starts_with(prefix)) continue;
      const std::string rest = condition.substr(prefix.size());
      const auto colon = rest.find(':');
      const auto last = rest.rfind(':');
      if (colon == std::string::npos || last == colon) continue;
      text += "[" + rest.substr(0, colon) + "]\n" + rest.substr(colon + 1, last - colon - 1) + "=" +
              (holds ? "true" : "false") + "\n";
    }
    if (!text.empty()) return text;
    return m_inner.configFile(path);
  }
  std::optional<bool> settingsBoolean(std::string_view schema, std::string_view key) override {
    const auto it = m_options.conditions.find("GSettings " + std::string(schema) + " " + std::string(key));
    return it != m_options.conditions.end() ? std::optional<bool>(it->second) : m_inner.settingsBoolean(schema, key);
  }

 private:
  SystemInfo& m_inner;
  const PlanOptions& m_options;
};

std::string momentText(DateTime moment) {
  const CivilDateTime c = decodeDateTime(moment);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", c.year, c.month, c.day, c.hour, c.minute);
  return text;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Characters, not bytes, so that columns line up with names in any script.
std::size_t displayWidth(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Prints rows as columns separated by two blanks; columns listed in rightAligned are numbers.
void printColumns(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                  const std::vector<bool>& rightAligned) {
  std::vector<std::size_t> widths(rightAligned.size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], displayWidth(row[c]));
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string padding(widths[c] - displayWidth(row[c]), ' ');
      if (c > 0) line += "  ";
      if (c + 1 == row.size() && !rightAligned[c]) {
        line += row[c];  // no blanks after the last column
      } else {
        line += rightAligned[c] ? padding + row[c] : row[c] + padding;
      }
    }
    out << line << '\n';
  }
}

struct PlanRow {
  const PlannedStart* planned;
  std::string scope;
};

void printTable(std::ostream& out, const std::vector<PlanRow>& rows, const Preferences& prefs, DateTime logon) {
  out << "Logon at " << momentText(logon) << ", start-up delay " << prefs.StartupDelay << " s"
      << (prefs.AutostartEnabled ? "" : "; the autostart run is off at logon (\"kiplaunch /r\" runs it)") << "\n\n";
  std::vector<std::vector<std::string>> started{{"SECOND", "GROUP", "SCOPE", "NAME", "COMMAND"}};
  std::vector<std::vector<std::string>> skipped{{"SCOPE", "NAME", "RESULT"}};
  for (const auto& row : rows) {
    const StartDefinition& def = *row.planned->definition;
    if (row.planned->second)
      started.push_back({std::to_string(*row.planned->second), std::to_string(sequenceGroup(def)), row.scope, def.Name,
                         commandText(def)});
    else
      skipped.push_back({row.scope, def.Name, row.planned->tested ? def.Result : std::string(kDisabledResult)});
  }
  if (started.size() > 1)
    printColumns(out, started, {true, true, false, false, false});
  else
    out << "Nothing would start.\n";
  if (skipped.size() > 1) {
    out << "\nNot started:\n";
    printColumns(out, skipped, {false, false, false});
  }
}

void printJson(std::ostream& out, const std::vector<PlanRow>& rows) {
  out << "[";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const PlannedStart& planned = *rows[i].planned;
    const StartDefinition& def = *planned.definition;
    out << (i == 0 ? "\n  " : ",\n  ") << "{\"name\": " << jsonString(def.Name)
        << ", \"scope\": " << jsonString(rows[i].scope)
        << ", \"start\": " << (planned.second ? std::to_string(*planned.second) : "null")
        << ", \"group\": " << sequenceGroup(def) << ", \"command\": " << jsonString(commandText(def))
        << ", \"result\": " << jsonString(planned.tested ? def.Result : std::string(kDisabledResult))
        << ", \"testResult\": " << (planned.tested ? std::to_string(planned.testResult) : "null") << "}";
  }
  out << (rows.empty() ? "]\n" : "\n]\n");
}

}  // namespace

// kipctl plan: the next autostart run as it would go, without starting or writing anything. Exit 0; 1 when a
// hive cannot be read; 2 for wrong options.
int runPlan(const std::vector<std::string>& args, Io& io) {
  auto options = parseOptions(args, io);
  if (!options) return kUsageStatus;

  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 1;
  }
  // A damaged hive would read as one without definitions, and the plan would be wrong without a word.
  for (const Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
    if (const auto problem = registry->hiveProblem(hive); !problem.empty()) {
      io.err << "kipctl: " << problem << '\n';
      return 1;
    }
  }

  // The environment snapshot and the preferences as the autostart run gathers them, then the options' facts.
  LinuxSystemInfo realSystem;
  PlanSystemInfo system(realSystem, *options);
  EnvironmentSnapshot env;
  env.IsNT = system.isNT();
  readPreviousStart(*registry, env);
  env.UserName = options->user ? *options->user : readUserName(system);
  Preferences prefs;
  readPreferences(*registry, prefs);
  env.ConfigName = options->config ? *options->config : readConfigName(*registry, env.IsNT);
  env.PowerState = powerStateFrom(system.powerStatus());
  NetworkResults results;
  if (options->network) results.lastNetwork = *options->network;
  if (options->dialUp) results.lastDialUp = *options->dialUp;

  const Hive editScope = options->global ? Hive::LocalMachine : Hive::CurrentUser;
  const Hive otherScope = options->global ? Hive::CurrentUser : Hive::LocalMachine;
  std::vector<DefinitionPtr> definitions;
  DefinitionStore store(*registry);
  store.load(editScope, false, definitions);
  store.load(otherScope, true, definitions);

  SystemNameResolver resolver;
  const auto services = LinuxNetworkServices::fromEnvironment(resolver);
  HostProbeRunner host(resolver);
  AnsweringNetworkServices answeredServices(*services, options->answers);
  AnsweringHostProbe answeredHost(host, options->answers);
  NetworkProbe probe(answeredServices, answeredHost);
  LinuxGroupMembership groups;
  const DateTime logon = options->at ? *options->at : SystemClock().now();
  SimulatedClock clock(logon);
  ConditionEvaluator evaluator(env, results, prefs, system, clock, probe, groups);
  const std::vector<PlannedStart> plan = planAutostartRun(definitions, prefs.StartupDelay, evaluator, clock);

  // Started definitions by their second (ties in load order, the order they start in), then the others.
  std::vector<PlanRow> rows;
  for (const auto& planned : plan) {
    const bool global = planned.definition->OtherScope != options->global;
    rows.push_back({&planned, global ? "global" : "local"});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const PlanRow& a, const PlanRow& b) {
    const auto& x = a.planned->second;
    const auto& y = b.planned->second;
    if (x && y) return *x < *y;
    return x.has_value() && !y.has_value();
  });
  if (options->json)
    printJson(io.out, rows);
  else
    printTable(io.out, rows, prefs, logon);
  // Said once, where the desktop cannot do what the starts ask of their windows; the JSON stays JSON.
  const bool windowed = std::any_of(rows.begin(), rows.end(), [](const PlanRow& row) {
    return row.planned->second && usesWindowCommands(*row.planned->definition);
  });
  if (const auto note = windowed ? windowCommandsNote(SessionFacts::fromEnvironment()) : std::string(); !note.empty()) {
    if (options->json)
      io.err << "kipctl: " << note << '\n';
    else
      io.out << '\n' << note << '\n';
  }
  return 0;
}

}  // namespace kip::ctl
