#include "RunRecord.h"

#include <array>
#include <cstdio>
#include <random>

namespace rastro {

namespace {

constexpr std::array<const char*, 3> kStatusNames{"measured", "failed", "not run"};

}  // namespace

const char* TestStatusName(TestStatus status) { return kStatusNames[static_cast<std::size_t>(status)]; }

bool ParseTestStatus(const std::string& name, TestStatus& status) {
  for (std::size_t i = 0; i < kStatusNames.size(); ++i) {
    if (name == kStatusNames[i]) {
      status = static_cast<TestStatus>(i);
      return true;
    }
  }
  return false;
}

std::string RunSummary(const RunRecord& record) {
  std::array<unsigned, 3> counts{};
  for (const TestRecord& test : record.tests) ++counts[static_cast<std::size_t>(test.status)];
  std::string summary;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    if (!summary.empty()) summary += ", ";
    summary += std::to_string(counts[i]) + " " + kStatusNames[i];
  }
  return summary.empty() ? "no tests" : summary;
}

std::string ModeText(const RunSettingsRecord& settings) {
  return std::to_string(settings.width) + "x" + std::to_string(settings.height) + " " + settings.backBufferFormat +
         "/" + settings.depthFormat + " @" + std::to_string(settings.refreshRate) + "Hz";
}

std::string NewUuid() {
  std::random_device device;
  std::array<unsigned char, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const unsigned word = device();
    for (std::size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<unsigned char>(word >> (8 * j));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  std::string text;
  char hex[3];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    text += hex;
  }
  return text;
}

}  // namespace rastro
