// Where the benchmark's data files (textures, shader sources) are found: beside an installed
// program, beside the program in its build tree, or in the source tree it was built from,
// whatever the working directory.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rastro {

// The directories searched, in order, for a program at `executableDirectory`.
std::vector<std::filesystem::path> DataDirectories(const std::filesystem::path& executableDirectory);

// The path of data file `name` in the first of `directories` that holds it, or `name` itself
// when none does (so that opening it fails the usual way).
std::string ResolveDataFile(const std::string& name, const std::vector<std::filesystem::path>& directories,
                            const std::function<bool(const std::filesystem::path&)>& exists);

// The path of data file `name` for this process.
std::string DataFilePath(const std::string& name);

}  // namespace rastro
