// The whole program from its arguments to its exit status, with everything it reaches outside
// itself passed in, so that it can run against fakes.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DataFiles.h"
#include "MessagePump.h"
#include "SteadyClock.h"
#include "d3d9.h"

namespace rastro {

// Exit statuses: a script reads them, so a failure must never look like success.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;      // no Direct3D, no device, nothing usable to choose
inline constexpr int kExitUsage = 2;       // a bad option or value, or RASTROMETER_DATA naming no folder
inline constexpr int kExitNotWritten = 3;  // the run ended but Results.txt could not be written

struct ProgramEnvironment {
  // Direct3DCreate9 of the platform; called after the offscreen hint when headless.
  std::function<IDirect3D9*(UINT)> createDirect3D;
  bool displayAvailable = false;
  // Opens the announced display; returns why it could not be opened, or an empty string.
  // OpenAnnouncedDisplay() when null.
  std::function<std::string()> openDisplay;
  SteadyClock* clock = nullptr;
  EventSource* events = nullptr;  // SDL's when null
  std::filesystem::path resultsPath = "Results.txt";
  // Where the data files are looked for, in order (ProcessDataSearchPath() for the program).
  std::vector<DataFolder> dataSearchPath;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool showProgress = false;  // out is a terminal: the current test's seconds are redrawn in place
  // The machine's own results store; empty: none (a run then records only where --store says).
  std::string defaultStore;
  std::filesystem::path machineRoot = "/";   // where /proc and /etc are read for the run's record
  std::function<std::int64_t()> utcSeconds;  // seconds since 1970 (UTC); the system's when null
};

int RunProgram(std::span<const std::string_view> arguments, const ProgramEnvironment& environment);

}  // namespace rastro
