#include "ModuleExports.h"

#include <strings.h>

#include <cstring>

#include "DebugOutput.h"
#include "validator/ShaderValidator.h"

namespace rastro {

struct ExportEntry {
  const char* name;
  void* address;
};

struct Module {
  const char* name;
  const ExportEntry* exports;
  int exportCount;
};

namespace {

const ExportEntry kDirect3D9Exports[] = {
    {"DebugSetMute", reinterpret_cast<void*>(&DebugSetMute)},
    {"Direct3DShaderValidatorCreate9", reinterpret_cast<void*>(&Direct3DShaderValidatorCreate9)},
};

const Module kModules[] = {
    {"d3d9.dll", kDirect3D9Exports, static_cast<int>(sizeof kDirect3D9Exports / sizeof kDirect3D9Exports[0])},
};

}  // namespace

const Module* FindLoadedModule(const char* moduleName) {
  if (!moduleName) return nullptr;
  for (const Module& module : kModules) {
    if (strcasecmp(module.name, moduleName) == 0) return &module;
  }
  return nullptr;
}

const Module* LoadModule(const char* moduleName) { return FindLoadedModule(moduleName); }

void* FindExport(const Module* module, const char* exportName) {
  if (!module || !exportName) return nullptr;
  for (int i = 0; i < module->exportCount; ++i) {
    if (std::strcmp(module->exports[i].name, exportName) == 0) return module->exports[i].address;
  }
  return nullptr;
}

}  // namespace rastro
