// The module-export lookup of the shared texture loader and shader assembler. There
// "d3d9.dll" is the shared Direct3D 9 library they are linked with, and its exports are looked
// up in it at run time: the debug mute switch and the shader validator they reach are the
// ones of the caller's devices, not private copies linked into each library.
#include <dlfcn.h>
#include <strings.h>

#include "ModuleExports.h"
#include "d3d9.h"

namespace rastro {

struct Module {
  void* handle;
};

namespace {

// The library that defines Direct3DCreate9, found through the address the dynamic linker
// bound it to, so that no file name is built in.
const Module* Direct3D9Library() {
  static const Module library = [] {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Direct3DCreate9), &info) == 0 || !info.dli_fname) return Module{nullptr};
    return Module{dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD)};
  }();
  return library.handle ? &library : nullptr;
}

}  // namespace

const Module* FindLoadedModule(const char* moduleName) {
  if (!moduleName || strcasecmp(moduleName, "d3d9.dll") != 0) return nullptr;
  return Direct3D9Library();
}

const Module* LoadModule(const char* moduleName) { return FindLoadedModule(moduleName); }

void* FindExport(const Module* module, const char* exportName) {
  if (!module || !exportName) return nullptr;
  return dlsym(module->handle, exportName);
}

}  // namespace rastro
