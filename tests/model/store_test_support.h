#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "doubles/memory_registry.h"
#include "model/registry_layout.h"
#include "model/start_definition.h"

namespace kip::test {

// The path of a definition's subkey.
inline std::string defKey(std::string_view name) { return std::string(kStartListKey) + "\\" + std::string(name); }

inline std::vector<std::uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

inline std::vector<std::uint8_t> doubleBytes(double value) {
  std::vector<std::uint8_t> bytes(8);
  std::memcpy(bytes.data(), &value, 8);
  return bytes;
}

// Every persisted field of a definition on one line, for comparisons that name what differs.
inline std::string persistedFields(const StartDefinition& d) {
  std::string out;
  auto text = [&](const char* name, const std::string& value) { out += std::string(name) + "=" + value + ";"; };
  auto num = [&](const char* name, double value) { out += std::string(name) + "=" + std::to_string(value) + ";"; };
  text("Module", d.Module);
  text("Parms", d.Parms);
  text("Start Directory", d.StartDirectory);
  text("Configuration", d.Configuration);
  text("User", d.User);
  text("Group", d.Group);
  num("Window", d.Window);
  num("Apm", d.Apm);
  num("Net", d.Net);
  num("Dun", d.Dun);
  num("NetTest", d.NetTest);
  text("NetResource", d.NetResource);
  num("Days", d.Days);
  num("Dates", d.Dates);
  num("From", d.From);
  num("To", d.To);
  num("Frequency", d.Frequency);
  num("Units", d.Units);
  num("Changes", d.Changes);
  num("Delay", d.Delay);
  num("Msg", d.Msg);
  num("MsgID", d.MsgID);
  num("Wait", d.Wait);
  num("WaitType", d.WaitType);
  num("Disable", d.Disable);
  num("Sequence", d.Sequence);
  num("Executed", d.Executed);
  text("Result", d.Result);
  num("Tested", d.Tested);
  num("TestResult", d.TestResult);
  return out;
}

// A definition whose every persisted field differs from its default.
inline StartDefinition everyFieldSet() {
  StartDefinition d;
  d.Module = "/usr/bin/prog";
  d.Parms = "-a \"b c\"";
  d.StartDirectory = "/home/u";
  d.Configuration = "Docked";
  d.User = "alice";
  d.Group = "staff";
  d.Window = 2;
  d.Apm = 1;
  d.Net = 2;
  d.Dun = 1;
  d.NetTest = -1;
  d.NetResource = "\\\\server\\share";
  d.Days = 31;
  d.Dates = 12345;
  d.From = 830;
  d.To = 1715;
  d.Frequency = 3;
  d.Units = 2;
  d.Changes = 5;
  d.Delay = 7200;
  d.Msg = 90;
  d.MsgID = 3;
  d.Wait = 60;
  d.WaitType = 1;
  d.Disable = true;
  d.Sequence = 42;
  d.Executed = 46000.25;
  d.Result = "OK";
  d.Tested = 46000.5;
  d.TestResult = 8;
  return d;
}

// The value names of the definition table in the order a save writes them.
inline const std::vector<std::string> kDefinitionValueOrder = {
    "Module",    "Parms",   "Start Directory", "Configuration", "User", "Group", "Window", "Apm",
    "Net",       "Dun",     "NetTest",         "NetResource",   "Days", "Dates", "From",   "To",
    "Frequency", "Units",   "Changes",         "Delay",         "Msg",  "MsgID", "Wait",   "WaitType",
    "Disable",   "Sequence"};
inline const std::vector<std::string> kRunStateOrder = {"Executed", "Result", "Tested", "TestResult"};

}  // namespace kip::test
