#include "DataFiles.h"

#include <cstdlib>
#include <system_error>

namespace rastro {

namespace {

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : executable.parent_path();
}

bool Inside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  std::error_code error;
  const std::filesystem::path relative = std::filesystem::weakly_canonical(path, error)
                                             .lexically_relative(std::filesystem::weakly_canonical(folder, error));
  return !error && !relative.empty() && *relative.begin() != "..";
}

void AddOnce(std::vector<DataFolder>& folders, std::filesystem::path path, const char* origin) {
  path = path.lexically_normal();
  for (const DataFolder& folder : folders) {
    if (folder.path == path) return;
  }
  folders.push_back({std::move(path), origin});
}

}  // namespace

std::vector<DataFolder> DataSearchPath(const char* variable, const std::filesystem::path& executableDirectory) {
  std::vector<DataFolder> folders;
  if (variable && *variable) {
    folders.push_back({variable, kDataFolderVariable});
    return folders;
  }
  if (!executableDirectory.empty()) AddOnce(folders, executableDirectory / "data", "beside the program");
  // A program that cannot say where it lies is taken to be installed; the source tree comes
  // last for it.
  if (!executableDirectory.empty() && Inside(executableDirectory, RASTRO_BUILD_DIR)) {
    AddOnce(folders, RASTRO_SOURCE_DATA_DIR, "source tree");
    return folders;
  }
  // Installed as <prefix>/bin/rastrometer: the data lies in <prefix>/share/rastrometer, also
  // when the whole prefix was moved or staged elsewhere after the build.
  if (!executableDirectory.empty()) AddOnce(folders, executableDirectory / RASTRO_DATA_FROM_BINDIR, "installed");
  AddOnce(folders, RASTRO_INSTALL_DATA_DIR, "installed");
  if (executableDirectory.empty()) AddOnce(folders, RASTRO_SOURCE_DATA_DIR, "source tree");
  return folders;
}

std::optional<DataFolder> ChooseDataFolder(const std::vector<DataFolder>& searchPath,
                                           const std::function<bool(const std::filesystem::path&)>& isFolder) {
  for (const DataFolder& folder : searchPath) {
    if (isFolder(folder.path)) return folder;
  }
  return std::nullopt;
}

std::vector<DataFolder> ProcessDataSearchPath() {
  return DataSearchPath(std::getenv(kDataFolderVariable), ExecutableDirectory());
}

bool IsFolder(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::string SearchPathText(const std::vector<DataFolder>& searchPath) {
  std::string text;
  for (const DataFolder& folder : searchPath) {
    if (!text.empty()) text += ", ";
    text += folder.path.string();
  }
  return text;
}

}  // namespace rastro
