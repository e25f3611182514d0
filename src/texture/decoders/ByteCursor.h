// Reads file bytes front to back without ever running past their end: every read reports
// whether the bytes were there and leaves the cursor where it was when they were not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "WindowsTypes.h"

namespace rastro {

class ByteCursor {
 public:
  ByteCursor(const BYTE* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Position() const { return position_; }
  std::size_t Remaining() const { return size_ - position_; }
  bool AtEnd() const { return position_ == size_; }
  const BYTE* Here() const { return data_ + position_; }

  bool Seek(std::size_t position) {
    if (position > size_) return false;
    position_ = position;
    return true;
  }
  bool Skip(std::uint64_t count) {
    if (count > Remaining()) return false;
    position_ += static_cast<std::size_t>(count);
    return true;
  }
  // The next `count` bytes (and moves past them), or null when fewer remain.
  const BYTE* Take(std::uint64_t count) {
    if (count > Remaining()) return nullptr;
    const BYTE* bytes = data_ + position_;
    position_ += static_cast<std::size_t>(count);
    return bytes;
  }
  bool Byte(BYTE& value) {
    if (AtEnd()) return false;
    value = data_[position_++];
    return true;
  }
  bool Word(WORD& value) {
    const BYTE* bytes = Take(2);
    if (!bytes) return false;
    value = static_cast<WORD>(bytes[0] | bytes[1] << 8);
    return true;
  }
  bool Dword(DWORD& value) {
    const BYTE* bytes = Take(4);
    if (!bytes) return false;
    value = LoadDword(bytes);
    return true;
  }
  bool Peek(BYTE& value) const {
    if (AtEnd()) return false;
    value = data_[position_];
    return true;
  }

  // Little-endian values at a known place, for headers already checked to be long enough.
  static WORD LoadWord(const BYTE* bytes) { return static_cast<WORD>(bytes[0] | bytes[1] << 8); }
  static DWORD LoadDword(const BYTE* bytes) {
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
           static_cast<DWORD>(bytes[3]) << 24;
  }

 private:
  const BYTE* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace rastro
