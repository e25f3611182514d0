// The module-export lookup of the shared texture loader and shader assembler. There
// "d3d9.dll" is the shared Direct3D 9 library they are linked with, and its exports are looked
// up in it at run time: the debug mute switch and the shader validator they reach are the
// ones of the caller's devices, not private copies linked into each library.
#include <dlfcn.h>
#include <strings.h>

#include "ModuleExports.h"
#include "d3d9.h"

namespace rastro {

namespace {

// dlsym hands out untyped addresses; each export's type is the published one.
template <typename Function>
Function Lookup(void* library, const char* name) {
  return reinterpret_cast<Function>(dlsym(library, name));
}

// The library that defines Direct3DCreate9, found through the address the dynamic linker
// bound it to, so that no file name is built in.
const RuntimeModule* Direct3D9Library() {
  static const RuntimeModule library = [] {
    RuntimeModule module{"d3d9.dll", nullptr, nullptr};
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Direct3DCreate9), &info) == 0 || !info.dli_fname) return module;
    void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) return module;
    module.DebugSetMute = Lookup<DebugSetMuteFunction>(handle, "DebugSetMute");
    module.Direct3DShaderValidatorCreate9 =
        Lookup<Direct3DShaderValidatorCreate9Function>(handle, "Direct3DShaderValidatorCreate9");
    return module;
  }();
  return &library;
}

}  // namespace

const RuntimeModule* FindLoadedModule(const char* moduleName) {
  if (!moduleName || strcasecmp(moduleName, "d3d9.dll") != 0) return nullptr;
  return Direct3D9Library();
}

const RuntimeModule* LoadModule(const char* moduleName) { return FindLoadedModule(moduleName); }

}  // namespace rastro
