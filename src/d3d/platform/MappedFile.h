// Read-only mapping of a whole file, the way the loader and the assembler read their inputs.
#pragma once

#include "WindowsTypes.h"

namespace rastro {

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Close(); }

  // Maps the named file. A null name is D3DERR_INVALIDCALL; every other failure (missing,
  // unreadable, a directory, too large for a 32-bit size, not mappable) is
  // D3DXERR_INVALIDDATA. An empty file opens with no view and size 0. Any earlier file is
  // closed first; on failure the object is left closed.
  HRESULT Open(const char* name);
  // Wide names are converted to UTF-8 first.
  HRESULT Open(const wchar_t* name);
  void Close();

  const BYTE* View() const { return view_; }
  DWORD Size() const { return size_; }
  bool IsOpen() const { return fileHandle_ >= 0; }

 private:
  int fileHandle_ = -1;
  const BYTE* view_ = nullptr;
  DWORD size_ = 0;
};

}  // namespace rastro
