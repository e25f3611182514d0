// How the tests reach their data files (texture images, shader sources), and what they say
// when a file fails them: which file, in which folder, and what the loader or the assembler
// made of it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "ComPtr.h"
#include "d3d9.h"
#include "d3dx9shader.h"

namespace rastro {

struct TestFiles {
  // The published entry points, or stand-ins for them; a call is judged by whether its out
  // pointer became non-null, and its result only goes into the message.
  std::function<HRESULT(IDirect3DDevice9* device, const char* fileName, IDirect3DTexture9** texture)> loadTexture;
  std::function<HRESULT(const char* fileName, ID3DXBuffer** shader, ID3DXBuffer** errors)> assemble;
  // For messages only: the folder the files come from (empty when none was found) and whether
  // it holds a file.
  std::filesystem::path folder;
  std::function<bool(const char* fileName)> holds;
};

// The files of `folder`, read with D3DXCreateTextureFromFileA and D3DXAssembleShaderFromFileA;
// none at all for an empty folder.
TestFiles FolderFiles(const std::filesystem::path& folder);

// Loads `fileName` into `slot`. False when the slot stays null, with the reason appended to
// `failure` ("; " between reasons, so a test that tries several files names every one).
bool LoadTexture(IDirect3DDevice9& device, const TestFiles& files, const char* fileName,
                 ComPtr<IDirect3DTexture9>& slot, std::string& failure);

// Assembles `fileName` with no macros, include handler or flags. Null, with the reason in
// `failure` (the assembler's first message for a source that does not assemble), when no
// token stream came back.
ComPtr<ID3DXBuffer> AssembleShader(const TestFiles& files, const char* fileName, std::string& failure);

}  // namespace rastro
