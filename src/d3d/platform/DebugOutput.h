// The device's debug output, like the runtime's debug build: RASTROMETER_D3D_DEBUG=1 makes every
// failing call print one line to stderr naming the call and why it failed. A capability check
// that answers "no" (CheckDeviceType, CheckDeviceFormat, ...) has not failed, so it prints only
// at RASTROMETER_D3D_DEBUG=2, for finding out why a format was passed over. Unset, empty or 0
// means off. DebugSetMute(1) silences both until DebugSetMute(0), on the calling thread.
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

// The same for the texture loader, as the utility library's debug build
// prints them: "D3DX: <call> failed: <why>".
HRESULT ReportLoaderFailure(HRESULT result, const char* call, const char* why);

// A capability check's "no": printed as "Direct3D9: <call> declined: <why>" at level 2 only.
HRESULT ReportDeclined(HRESULT result, const char* call, const char* why);

// Where the lines go (stderr by default); tests point it elsewhere. Null restores stderr.
void SetDebugOutputSink(void (*sink)(const char* line));

}  // namespace rastro
