// Export and import of 1000 definitions, without any dialog: composing the text, writing the file, and
// reading it into an empty list (all new) and into the list it came from (every section overwritten).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/exchange_reader.h"
#include "exchange/exchange_writer.h"
#include "exchange/scope_definition_list.h"
#include "platform/prompts.h"

namespace {

constexpr int kDefinitions = 1000;

class YesPrompts final : public kip::Prompts {
 public:
  void message(std::string_view, kip::MessageIcon) override {}
  kip::Answer question(std::string_view) override { return kip::Answer::Yes; }
  std::optional<std::string> saveFileName(const kip::FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> openFileName(const kip::FileDialogOptions&) override { return std::nullopt; }
};

std::vector<kip::DefinitionPtr> definitions() {
  std::vector<kip::DefinitionPtr> out;
  for (int i = 0; i < kDefinitions; ++i) {
    auto def = std::make_shared<kip::StartDefinition>();
    def->Name = "Start definition number " + std::to_string(i);
    def->Module = "/usr/local/bin/program-" + std::to_string(i);
    def->Parms = "--config=/etc/program/" + std::to_string(i) + ".conf --quiet";
    def->StartDirectory = "/home/user/work";
    def->User = i % 3 == 0 ? "someone" : "";
    def->NetResource = i % 5 == 0 ? "\\\\server\\share" : "";
    def->NetTest = i % 5 == 0 ? 1 : 0;
    def->Days = 31;
    def->From = 800;
    def->To = 1800;
    def->Delay = i;
    def->Sequence = i % 10;
    out.push_back(def);
  }
  return out;
}

std::string exportedText() {
  const kip::ScopeDefinitionList list(definitions());
  std::string text;
  kip::composeExchangeText(kip::Preferences{}, list, text);
  return text;
}

void BM_ExportText(benchmark::State& state) {
  const kip::ScopeDefinitionList list(definitions());
  std::string text;
  for (auto _ : state) {
    kip::composeExchangeText(kip::Preferences{}, list, text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ExportFile(benchmark::State& state) {
  const kip::ScopeDefinitionList list(definitions());
  const auto path = (std::filesystem::temp_directory_path() / "kip-exchange-bench-export.txt").string();
  for (auto _ : state) {
    if (!kip::exportExchangeFile(path, kip::Preferences{}, list).written) state.SkipWithError("export failed");
  }
  std::filesystem::remove(path);
}

void BM_ImportNew(benchmark::State& state) {
  const std::string text = exportedText();
  YesPrompts prompts;
  for (auto _ : state) {
    state.PauseTiming();
    auto list = std::make_unique<kip::ScopeDefinitionList>(std::vector<kip::DefinitionPtr>{});
    kip::Preferences prefs;
    state.ResumeTiming();
    kip::ExchangeReader reader(*list, prefs, prompts);
    if (reader.importBytes(text).added != kDefinitions) state.SkipWithError("import incomplete");
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
}

void BM_ImportOverwrite(benchmark::State& state) {
  const std::string text = exportedText();
  kip::ScopeDefinitionList list(definitions());
  kip::Preferences prefs;
  YesPrompts prompts;
  for (auto _ : state) {
    kip::ExchangeReader reader(list, prefs, prompts);
    if (reader.importBytes(text).overwritten != kDefinitions) state.SkipWithError("import incomplete");
  }
}

void BM_ImportFile(benchmark::State& state) {
  const std::string text = exportedText();
  const auto path = (std::filesystem::temp_directory_path() / "kip-exchange-bench-import.txt").string();
  {
    const kip::ScopeDefinitionList list(definitions());
    kip::exportExchangeFile(path, kip::Preferences{}, list);
  }
  kip::ScopeDefinitionList list(definitions());
  kip::Preferences prefs;
  YesPrompts prompts;
  for (auto _ : state) {
    kip::ExchangeReader reader(list, prefs, prompts);
    if (reader.importFile(path).overwritten != kDefinitions) state.SkipWithError("import incomplete");
  }
  std::filesystem::remove(path);
}

BENCHMARK(BM_ExportText)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_ExportFile)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_ImportNew)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_ImportOverwrite)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_ImportFile)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
