#include "ModuleExports.h"

#include <strings.h>

#include "DebugOutput.h"
#include "ShaderValidation.h"

namespace rastro {

namespace {

// The runtime's debug build ("d3d9d.dll") does not exist here.
const RuntimeModule kModules[] = {
    {"d3d9.dll", &DebugSetMute, &Direct3DShaderValidatorCreate9},
};

}  // namespace

const RuntimeModule* FindLoadedModule(const char* moduleName) {
  if (!moduleName) return nullptr;
  for (const RuntimeModule& module : kModules) {
    if (strcasecmp(module.name, moduleName) == 0) return &module;
  }
  return nullptr;
}

const RuntimeModule* LoadModule(const char* moduleName) { return FindLoadedModule(moduleName); }

}  // namespace rastro
