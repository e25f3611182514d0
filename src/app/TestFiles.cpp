#include "TestFiles.h"

#include <cstring>

#include "ResultText.h"
#include "d3dx9tex.h"

namespace rastro {

namespace {

// "normal.jpg in /usr/share/rastrometer", for a file that is there and still failed; for one
// that is not, the whole reason.
std::string FileInFolder(const TestFiles& files, const char* fileName, bool& found) {
  found = false;
  if (files.folder.empty()) return std::string(fileName) + " not found: no data folder";
  found = !files.holds || files.holds(fileName);
  return std::string(fileName) + (found ? " in " : " not found in ") + files.folder.string();
}

// The first line of the assembler's messages.
std::string FirstMessage(ID3DXBuffer* errors) {
  if (!errors || !errors->GetBufferPointer()) return {};
  const auto* text = static_cast<const char*>(errors->GetBufferPointer());
  std::string message(text, strnlen(text, errors->GetBufferSize()));
  message = message.substr(0, message.find_first_of("\r\n"));
  return message;
}

}  // namespace

TestFiles FolderFiles(const std::filesystem::path& folder) {
  TestFiles files;
  files.folder = folder;
  // Without a folder nothing is read, not even a file of the working directory.
  if (folder.empty()) return files;
  files.loadTexture = [folder](IDirect3DDevice9* device, const char* fileName, IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileA(device, (folder / fileName).c_str(), texture);
  };
  files.assemble = [folder](const char* fileName, ID3DXBuffer** shader, ID3DXBuffer** errors) {
    return D3DXAssembleShaderFromFileA((folder / fileName).c_str(), nullptr, nullptr, 0, shader, errors);
  };
  files.holds = [folder](const char* fileName) {
    std::error_code error;
    return std::filesystem::is_regular_file(folder / fileName, error);
  };
  return files;
}

bool LoadTexture(IDirect3DDevice9& device, const TestFiles& files, const char* fileName,
                 ComPtr<IDirect3DTexture9>& slot, std::string& failure) {
  HRESULT result = E_FAIL;
  if (files.loadTexture) result = files.loadTexture(&device, fileName, slot.ReleaseAndGetAddressOf());
  if (slot) return true;
  bool found = false;
  std::string reason = FileInFolder(files, fileName, found);
  if (found) reason += " did not load: D3DXCreateTextureFromFileA returned " + ResultText(result);
  failure += (failure.empty() ? "" : "; ") + reason;
  return false;
}

ComPtr<ID3DXBuffer> AssembleShader(const TestFiles& files, const char* fileName, std::string& failure) {
  ComPtr<ID3DXBuffer> shader;
  ComPtr<ID3DXBuffer> errors;
  HRESULT result = E_FAIL;
  if (files.assemble)
    result = files.assemble(fileName, shader.ReleaseAndGetAddressOf(), errors.ReleaseAndGetAddressOf());
  if (shader) return shader;
  bool found = false;
  failure = FileInFolder(files, fileName, found);
  if (!found) return shader;
  const std::string message = FirstMessage(errors.Get());
  failure += " does not assemble: " +
             (message.empty() ? "D3DXAssembleShaderFromFileA returned " + ResultText(result) : message);
  return shader;
}

}  // namespace rastro
