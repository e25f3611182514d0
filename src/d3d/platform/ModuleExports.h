// Lookup of the functions a module exports, by module and export name. Stands in for the
// loader's GetModuleHandleA / LoadLibraryA / GetProcAddress: the Direct3D layer is linked into
// the program, so "d3d9.dll" is always loaded and its exports are found by name.
#pragma once

namespace rastro {

struct Module;

// The module if it is loaded (module names compare without regard to case), else null.
const Module* FindLoadedModule(const char* moduleName);
// The module, loading it if the platform has it; null when it does not exist here.
const Module* LoadModule(const char* moduleName);
// The export's address, or null when the module has no such export (or it is not built).
void* FindExport(const Module* module, const char* exportName);

}  // namespace rastro
