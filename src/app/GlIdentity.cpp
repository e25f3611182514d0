#include "GlIdentity.h"

#include <SDL.h>
#include <epoxy/gl.h>

namespace rastro {

void ReadGlIdentity(AdapterRecord& adapter) {
  if (!SDL_GL_GetCurrentContext()) return;
  const auto text = [](GLenum name) {
    const auto* value = reinterpret_cast<const char*>(glGetString(name));
    return value ? std::string(value) : std::string();
  };
  adapter.glVendor = text(GL_VENDOR);
  adapter.glRenderer = text(GL_RENDERER);
  adapter.glVersion = text(GL_VERSION);
}

}  // namespace rastro
