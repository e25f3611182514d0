#include "DebugOutput.h"

#include <cstdio>
#include <cstdlib>

namespace rastro {

namespace {

int muted = 0;
void (*outputSink)(const char* line) = nullptr;

}  // namespace

bool DebugOutputActive() { return std::getenv("RASTROMETER_D3D_DEBUG") != nullptr && !muted; }

HRESULT ReportFailure(HRESULT result, const char* call, const char* why) {
  if (!DebugOutputActive()) return result;
  char line[512];
  std::snprintf(line, sizeof line, "Direct3D9: %s failed: %s (0x%08X)\n", call ? call : "?", why ? why : "?",
                static_cast<unsigned>(result));
  if (outputSink) {
    outputSink(line);
  } else {
    std::fputs(line, stderr);
  }
  return result;
}

void SetDebugOutputSink(void (*sink)(const char* line)) { outputSink = sink; }

}  // namespace rastro

extern "C" int DebugSetMute(int mute) {
  int previous = rastro::muted;
  rastro::muted = mute != 0;
  return previous;
}
