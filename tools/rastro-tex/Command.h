// The subcommands of rastro-tex. Each lives in its own file and is one entry of the table in
// main.cpp.
#pragma once

#include <span>

namespace rastro::tex {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // a file could not be read or decoded
constexpr int kExitUsage = 2;

struct Command {
  const char* Name;
  const char* Usage;    // the arguments after the name
  const char* Summary;  // one line for the usage text
  // Runs with the arguments after the command name; returns the exit status. Returns
  // kExitUsage, after naming the problem on stderr, for arguments it cannot use.
  int (*Run)(std::span<char* const> arguments);
};

int RunInfo(std::span<char* const> arguments);
int RunConvert(std::span<char* const> arguments);

// Prints the usage of every command to stderr and returns kExitUsage.
int PrintUsage();

}  // namespace rastro::tex
