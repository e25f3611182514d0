// Tests that reach OpenGL on the app side keep the GL driver's libraries mapped to the end of the
// program: the driver keeps allocations for the life of the process, and once its library is
// unloaded (when the last SDL window goes) the leak checker sees them from an unknown module
// that no suppression can name. Mapped, they are the driver's, and suppressed as such.
#pragma once

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace rastro::testing {

inline void KeepGlDriverMapped() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        const char* name = info->dlpi_name;
        if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "gallium") || std::strstr(name, "libGLX_mesa") ||
                     std::strstr(name, "libLLVM"))) {
          dlopen(name, RTLD_NOW | RTLD_NOLOAD);  // one more reference, never dropped
        }
        return 0;
      },
      nullptr);
}

}  // namespace rastro::testing
