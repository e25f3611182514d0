// What a run record says about the machine: CPU model and cores, memory, kernel and
// distribution, read from the files Linux keeps them in under `root` ("/" for this machine).
#pragma once

#include <filesystem>

#include "RunRecord.h"

namespace rastro {

MachineRecord ProbeMachine(const std::filesystem::path& root);

}  // namespace rastro
