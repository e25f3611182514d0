#include "DataFiles.h"

#include <system_error>

namespace rastro {

namespace {

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : executable.parent_path();
}

}  // namespace

std::vector<std::filesystem::path> DataDirectories(const std::filesystem::path& executableDirectory) {
  std::vector<std::filesystem::path> directories;
  if (!executableDirectory.empty()) {
    // Installed: <prefix>/bin/rastrometer with <prefix>/share/rastrometer.
    directories.push_back((executableDirectory / RASTRO_DATA_FROM_BINDIR).lexically_normal());
    directories.push_back(executableDirectory / "data");
  }
  // Built and not installed: the source tree's data directory.
  directories.emplace_back(RASTRO_SOURCE_DATA_DIR);
  return directories;
}

std::string ResolveDataFile(const std::string& name, const std::vector<std::filesystem::path>& directories,
                            const std::function<bool(const std::filesystem::path&)>& exists) {
  for (const std::filesystem::path& directory : directories) {
    const std::filesystem::path candidate = directory / name;
    if (exists(candidate)) return candidate.string();
  }
  return name;
}

std::string DataFilePath(const std::string& name) {
  static const std::vector<std::filesystem::path> directories = DataDirectories(ExecutableDirectory());
  return ResolveDataFile(name, directories, [](const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
  });
}

}  // namespace rastro
