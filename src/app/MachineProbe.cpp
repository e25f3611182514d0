#include "MachineProbe.h"

#include <fstream>
#include <string>

namespace rastro {

namespace {

std::string Trimmed(std::string text) {
  const std::size_t first = text.find_first_not_of(" \t\"");
  const std::size_t last = text.find_last_not_of(" \t\"\r\n");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The value after "key" and a separator in the first line that starts with it.
std::string Value(const std::filesystem::path& file, const std::string& key, char separator) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with(key)) continue;
    const std::size_t at = line.find(separator);
    if (at != std::string::npos && Trimmed(line.substr(key.size(), at - key.size())).empty()) {
      return Trimmed(line.substr(at + 1));
    }
  }
  return {};
}

}  // namespace

MachineRecord ProbeMachine(const std::filesystem::path& root) {
  MachineRecord machine;
  const std::filesystem::path cpuinfo = root / "proc/cpuinfo";
  machine.cpuModel = Value(cpuinfo, "model name", ':');
  std::ifstream in(cpuinfo);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("processor") && line.find(':') != std::string::npos) ++machine.cores;
  }
  // "MemTotal:       24590084 kB"
  const std::string memory = Value(root / "proc/meminfo", "MemTotal", ':');
  if (!memory.empty()) machine.memoryBytes = std::stoull(memory) * 1024;
  std::ifstream kernel(root / "proc/sys/kernel/osrelease");
  std::getline(kernel, machine.kernel);
  machine.distribution = Value(root / "etc/os-release", "PRETTY_NAME", '=');
  return machine;
}

}  // namespace rastro
