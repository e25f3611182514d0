#include "MuteDebugOutput.h"

#include "ModuleExports.h"
#include "RegistryValues.h"

namespace rastro {

namespace {

// The runtime and its debug build each may export the switch.
constexpr const char* kRuntimeModules[2] = {"d3d9.dll", "d3d9d.dll"};

struct MuteState {
  DebugSetMuteFunction entries[2] = {nullptr, nullptr};
  enum class Setting { Unread, MuteAllowed, MuteDisabled } setting = Setting::Unread;
};

MuteState state;

}  // namespace

void MuteDebugOutput(bool on) {
  // Looked up until found: a runtime module may be loaded later in the process.
  if (!state.entries[0] && !state.entries[1]) {
    for (int i = 0; i < 2; ++i) {
      if (!FindLoadedModule(kRuntimeModules[i])) continue;
      if (const RuntimeModule* module = LoadModule(kRuntimeModules[i])) state.entries[i] = module->DebugSetMute;
    }
  }
  if (state.setting == MuteState::Setting::Unread) {
    DWORD doNotMute = 0;
    if (!ReadDirect3DRegistryValue(REG_DWORD, "D3DXDoNotMute", &doNotMute, sizeof doNotMute)) doNotMute = 0;
    state.setting = doNotMute != 0 ? MuteState::Setting::MuteDisabled : MuteState::Setting::MuteAllowed;
  }
  if (state.setting == MuteState::Setting::MuteDisabled) return;
  for (DebugSetMuteFunction entry : state.entries) {
    if (entry) entry(on ? 1 : 0);
  }
}

void ResetDebugMuteForTesting() { state = MuteState{}; }

}  // namespace rastro
