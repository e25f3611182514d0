#include "DebugOutput.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace rastro {

namespace {

// Per thread: the loader mutes the calls it makes, and a tool may load on several threads.
thread_local int muted = 0;
void (*outputSink)(const char* line) = nullptr;

// 0 off, 1 failed calls, 2 declined capability checks as well. Read on every report, so a
// process (or a test) can switch it while running.
int DebugOutputLevel() {
  const char* value = std::getenv("RASTROMETER_D3D_DEBUG");
  if (!value || !*value || std::strcmp(value, "0") == 0) return 0;
  return std::strcmp(value, "2") == 0 ? 2 : 1;
}

void Print(const char* source, HRESULT result, const char* call, const char* outcome, const char* why) {
  char line[512];
  std::snprintf(line, sizeof line, "%s: %s %s: %s (0x%08X)\n", source, call ? call : "?", outcome, why ? why : "?",
                static_cast<unsigned>(result));
  if (outputSink) {
    outputSink(line);
  } else {
    std::fputs(line, stderr);
  }
}

}  // namespace

bool DebugOutputActive() { return !muted && DebugOutputLevel() >= 1; }

HRESULT ReportFailure(HRESULT result, const char* call, const char* why) {
  if (DebugOutputActive()) Print("Direct3D9", result, call, "failed", why);
  return result;
}

HRESULT ReportLoaderFailure(HRESULT result, const char* call, const char* why) {
  if (DebugOutputActive()) Print("D3DX", result, call, "failed", why);
  return result;
}

HRESULT ReportDeclined(HRESULT result, const char* call, const char* why) {
  if (!muted && DebugOutputLevel() >= 2) Print("Direct3D9", result, call, "declined", why);
  return result;
}

void SetDebugOutputSink(void (*sink)(const char* line)) { outputSink = sink; }

}  // namespace rastro

extern "C" int DebugSetMute(int mute) {
  int previous = rastro::muted;
  rastro::muted = mute != 0;
  return previous;
}
