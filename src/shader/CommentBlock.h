// Packs named data into one comment block of a shader token stream: the comment token, a
// FourCC word, then the items at their offsets, gaps and tail filled with 0xAB bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "WindowsTypes.h"

namespace rastro {

class CommentBlock {
 public:
  // AddItem flags.
  static constexpr DWORD kByReference = 1;  // keep the caller's pointer; it is read at Write
  static constexpr DWORD kShareable = 2;    // identical bytes added later reuse this item
  static constexpr DWORD kUnaligned = 4;    // start right after the previous item, not on a word
  static constexpr DWORD kOwned = 8;        // with kByReference: the block frees the memory (delete[])
  // AddItem size for a NUL-terminated string, taken with its NUL.
  static constexpr DWORD kNulTerminated = 0xFFFFFFFF;
  // The largest block, comment token included.
  static constexpr std::size_t kMaxWords = 0x8000;

  explicit CommentBlock(DWORD fourCC) : fourCC_(fourCC) {}
  ~CommentBlock();
  CommentBlock(const CommentBlock&) = delete;
  CommentBlock& operator=(const CommentBlock&) = delete;

  // Adds `size` bytes of `data`; returns the item's offset from the first byte after the
  // FourCC through `offset` when given. E_FAIL for null data of non-zero size; E_OUTOFMEMORY.
  HRESULT AddItem(const void* data, DWORD size, DWORD flags, DWORD* offset);
  // Data rounded up to words, plus the comment token and the FourCC.
  std::size_t SizeInWords() const { return (size_ + 3) / 4 + 2; }
  // Writes the block as `words` words (at least SizeInWords, at most kMaxWords, else E_FAIL).
  HRESULT Write(DWORD* destination, std::size_t words) const;

 private:
  struct Item {
    const void* data;
    std::size_t size;
    std::size_t offset;
    DWORD flags;
  };

  DWORD fourCC_;
  std::size_t size_ = 0;
  std::vector<Item> items_;
};

}  // namespace rastro
