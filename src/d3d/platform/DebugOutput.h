// The device's debug output, like the runtime's debug build: when the environment variable
// RASTROMETER_D3D_DEBUG is set, every failing call prints one line to stderr naming the call
// and why it failed. DebugSetMute(1) silences it until DebugSetMute(0).
#pragma once

#include "WindowsTypes.h"

// The runtime's export, found by name through the module-export lookup. Returns the previous
// mute state.
extern "C" int DebugSetMute(int mute);

namespace rastro {

bool DebugOutputActive();

// Prints "Direct3D9: <call> failed: <why>" when debug output is active and not muted; returns
// the result so a call can `return ReportFailure(...)`.
HRESULT ReportFailure(HRESULT result, const char* call, const char* why);

// Where the lines go (stderr by default); tests point it elsewhere. Null restores stderr.
void SetDebugOutputSink(void (*sink)(const char* line));

}  // namespace rastro
