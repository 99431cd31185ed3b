#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "ctl/one_line.h"
#include "exchange/scope_exchange.h"
#include "platform/linux/sqlite_registry.h"
#include "platform/prompts.h"
#include "terminal_prompts.h"
#include "verbs.h"

namespace kip::ctl {

namespace {

constexpr int kCancelledStatus = 3;

struct ExchangeArgs {
  std::string file;
  Hive scope = Hive::CurrentUser;
  std::optional<Answer> answer;
};

// Parses FILE [--global] and, for import, [--yes | --no]; nullopt after telling what is wrong.
std::optional<ExchangeArgs> parseArgs(const std::vector<std::string>& args, bool import, Io& io) {
  const char* usage =
      import ? "usage: kipctl import FILE [--global] [--yes | --no]\n" : "usage: kipctl export FILE|- [--global]\n";
  ExchangeArgs parsed;
  bool haveFile = false;
  for (const auto& arg : args) {
    if (arg == "--global") {
      parsed.scope = Hive::LocalMachine;
    } else if (import && (arg == "--yes" || arg == "--no")) {
      const Answer answer = arg == "--yes" ? Answer::Yes : Answer::No;
      if (parsed.answer && *parsed.answer != answer) {
        io.err << "kipctl: --yes and --no exclude each other\n" << usage;
        return std::nullopt;
      }
      parsed.answer = answer;
    } else if (arg.size() > 1 && arg.starts_with("-")) {
      io.err << "kipctl: unknown option \"" << arg << "\"\n" << usage;
      return std::nullopt;
    } else if (!haveFile) {
      parsed.file = arg;
      haveFile = true;
    } else {
      io.err << "kipctl: more than one file given\n" << usage;
      return std::nullopt;
    }
  }
  if (!haveFile || parsed.file.empty()) {
    io.err << "kipctl: no file given\n" << usage;
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

int runExport(const std::vector<std::string>& args, Io& io) {
  const auto parsed = parseArgs(args, false, io);
  if (!parsed) return 1;
  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 1;
  }
  ExportResult result;
  if (parsed->file == "-") {
    std::string text;
    result = composeScopeText(*registry, parsed->scope, text);
    if (result.written && !(io.out << text << std::flush)) {
      result.written = false;
      result.message = "Cannot write to standard output";
    }
  } else {
    result = exportScope(*registry, parsed->scope, parsed->file);
  }
  // A written file that had to leave something out is a failure too, named on one line.
  if (!result.message.empty()) {
    io.err << "kipctl: " << oneLine(result.message) << '\n';
    return 1;
  }
  return 0;
}

int runImport(const std::vector<std::string>& args, Io& io) {
  const auto parsed = parseArgs(args, true, io);
  if (!parsed) return 1;
  auto registry = SqliteRegistry::fromEnvironment();
  if (!registry) {
    io.err << "kipctl: cannot open the registry hives\n";
    return 1;
  }
  TerminalPrompts prompts(io, parsed->answer);
  const ScopeImportResult result = importScope(*registry, parsed->scope, parsed->file, prompts);
  // A read failure and what could not be saved afterwards make one line.
  std::string failure;
  if (result.import.status == ImportStatus::ReadFailed) failure = oneLine(result.import.message);
  if (!result.saveMessage.empty()) failure += (failure.empty() ? "" : "; ") + oneLine(result.saveMessage);
  if (!failure.empty()) {
    io.err << "kipctl: " << failure << '\n';
    return 1;
  }
  return result.import.status == ImportStatus::Cancelled ? kCancelledStatus : 0;
}

}  // namespace kip::ctl
