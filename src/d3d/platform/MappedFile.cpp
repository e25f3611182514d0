#include "MappedFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "d3d9types.h"

namespace rastro {

namespace {

// UTF-8 encoding of a wide (UTF-32 on this platform) name; false for an invalid code point.
bool WideToUtf8(const wchar_t* wide, std::string& out) {
  for (; *wide; ++wide) {
    auto c = static_cast<std::uint32_t>(*wide);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      if (c >= 0xD800 && c <= 0xDFFF) return false;
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

HRESULT MappedFile::Open(const char* name) {
  Close();
  if (!name) return D3DERR_INVALIDCALL;

  fileHandle_ = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fileHandle_ < 0) return D3DXERR_INVALIDDATA;

  struct stat info {};
  if (::fstat(fileHandle_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      static_cast<unsigned long long>(info.st_size) > UINT32_MAX) {
    Close();
    return D3DXERR_INVALIDDATA;
  }
  if (info.st_size == 0) return S_OK;

  void* view = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fileHandle_, 0);
  if (view == MAP_FAILED) {
    Close();
    return D3DXERR_INVALIDDATA;
  }
  view_ = static_cast<const BYTE*>(view);
  size_ = static_cast<DWORD>(info.st_size);
  return S_OK;
}

HRESULT MappedFile::Open(const wchar_t* name) {
  Close();
  if (!name) return D3DERR_INVALIDCALL;
  std::string narrow;
  if (!WideToUtf8(name, narrow)) return D3DXERR_INVALIDDATA;
  return Open(narrow.c_str());
}

void MappedFile::Close() {
  if (view_) ::munmap(const_cast<BYTE*>(view_), size_);
  view_ = nullptr;
  size_ = 0;
  if (fileHandle_ >= 0) ::close(fileHandle_);
  fileHandle_ = -1;
}

}  // namespace rastro
