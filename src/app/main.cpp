// rastrometer: measures the pixel fill rate of the graphics adapter and writes Results.txt to
// the working directory.
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "Program.h"
#include "d3d9.h"

namespace {

bool DisplayAvailable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  rastro::ProgramEnvironment environment;
  environment.createDirect3D = Direct3DCreate9;
  environment.displayAvailable = DisplayAvailable();
  environment.showProgress = isatty(STDOUT_FILENO) != 0;
  return rastro::RunProgram(arguments, environment);
}
