// Where the benchmark's data files (textures, shader sources) come from: one folder, chosen once
// at start-up as the first on the search path that exists. Every file of a run is taken from
// it, so a folder that lacks a file fails that file's tests rather than borrowing the file from
// another copy of the data.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rastro {

// Names the data folder to use instead of searching for one.
inline constexpr char kDataFolderVariable[] = "RASTROMETER_DATA";

struct DataFolder {
  std::filesystem::path path;
  std::string origin;  // how it was found: "RASTROMETER_DATA", "beside the program", "installed", "source tree"
};

// The folders looked at, in order, for a program in `executableDirectory`. When `variable`
// (the value of RASTROMETER_DATA) is set and not empty, the folder it names is the only one.
// Otherwise data/ beside the program comes first; then, for a program in its build tree, the
// source tree's data/, and for an installed one share/rastrometer of the prefix it lies in and
// of the prefix it was configured for.
std::vector<DataFolder> DataSearchPath(const char* variable, const std::filesystem::path& executableDirectory);

// The first folder of `searchPath` that `isFolder` accepts; nullopt when there is none.
std::optional<DataFolder> ChooseDataFolder(const std::vector<DataFolder>& searchPath,
                                           const std::function<bool(const std::filesystem::path&)>& isFolder);

// The search path of this process, from its environment and its own location.
std::vector<DataFolder> ProcessDataSearchPath();

// Whether `path` is a folder of the file system.
bool IsFolder(const std::filesystem::path& path);

// "a, b, c": the folders of a search path, for messages.
std::string SearchPathText(const std::vector<DataFolder>& searchPath);

}  // namespace rastro
