// Feeds arbitrary bytes to the .reg file reader against an in-memory registry, and checks that what it
// imported survives an export and a second import unchanged.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "../tests/doubles/memory_registry.cpp"
#include "ctl/reg_file_reader.h"
#include "ctl/reg_file_writer.h"

namespace {

std::string exportHive(kip::Registry& registry, kip::Hive hive, bool& ok) {
  std::string problem;
  auto text = kip::RegFileWriter(registry).exportTree({hive, ""}, problem);
  ok = text.has_value();
  return text.value_or(std::string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kip::test::MemoryRegistry first;
  kip::RegFileReader(first).import(std::span<const std::uint8_t>(data, size));

  for (const auto hive : {kip::Hive::CurrentUser, kip::Hive::LocalMachine}) {
    bool ok = false;
    const auto text = exportHive(first, hive, ok);
    if (!ok) continue;
    kip::test::MemoryRegistry second;
    const auto outcome =
        kip::RegFileReader(second).import(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    if (!outcome.problems.empty()) std::abort();
    bool againOk = false;
    if (exportHive(second, hive, againOk) != text || !againOk) std::abort();
  }
  return 0;
}
