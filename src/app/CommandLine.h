// The program's options, for headless machines and scripts.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "SettingsChoice.h"

namespace rastro {

struct CommandLine {
  enum class Action { kRun, kList, kHelp, kVersion };
  Action action = Action::kRun;
  SettingsRequest settings;
  bool headless = false;
  double seconds = 5.0;
  std::string captureDirectory;  // empty: no pictures of the tests' frames
  unsigned runs = 1;             // passes through the whole catalogue
  std::string store;             // where the run is recorded; empty: the local store
  bool noStore = false;
  std::string jsonPath;  // empty: no JSON record
};

struct ParsedCommandLine {
  bool ok = false;
  CommandLine line;
  std::string error;  // says what is wrong and names the valid choices
};

// Parses the arguments after the program name. Options take their value as the next argument
// or after "=". --help and --version end parsing where they stand.
ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments);

std::string UsageText();

}  // namespace rastro
