// Switches the Direct3D runtime's debug output off around device calls whose failure is
// expected and handled (format probes, trial locks), and on again afterwards. Calls are always
// paired. The setting "D3DXDoNotMute" (a non-zero DWORD) disables muting for the whole process.
#pragma once

namespace rastro {

void MuteDebugOutput(bool on);

// Forgets the looked-up entries and the setting, so that tests can change the setting.
void ResetDebugMuteForTesting();

}  // namespace rastro
