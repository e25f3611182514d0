// rastrometer: measures the pixel fill rate of the graphics adapter and writes Results.txt to
// the working directory.
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "DataFiles.h"
#include "Program.h"
#include "ResultStore.h"
#include "VideoEnvironment.h"
#include "d3d9.h"

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  rastro::ProgramEnvironment environment;
  environment.createDirect3D = Direct3DCreate9;
  environment.displayAvailable = rastro::DisplayServerAnnounced();
  environment.showProgress = isatty(STDOUT_FILENO) != 0;
  environment.dataSearchPath = rastro::ProcessDataSearchPath();
  environment.defaultStore = rastro::DefaultStorePath(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  return rastro::RunProgram(arguments, environment);
}
