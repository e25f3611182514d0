// Arena for the texts of one preprocessor run (identifiers, strings, paths, macro bodies):
// bump allocation in large chunks, everything freed together.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace rastro {

class StringStore {
 public:
  static constexpr std::size_t kChunkSize = 65536;

  // `bytes` unaligned bytes, or null when the store cannot grow.
  char* Allocate(std::size_t bytes) {
    if (bytes > left_) return AllocateChunk(bytes);
    char* result = cursor_;
    cursor_ += bytes;
    left_ -= bytes;
    return result;
  }
  // A NUL-terminated copy, or null.
  const char* Copy(std::string_view text) {
    char* copy = Allocate(text.size() + 1);
    if (!copy) return nullptr;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
  }

  // Caps the total size of all chunks; for tests of memory exhaustion.
  void SetLimit(std::size_t bytes) { limit_ = bytes; }
  std::size_t Reserved() const { return reserved_; }

 private:
  char* AllocateChunk(std::size_t bytes);

  std::vector<std::unique_ptr<char[]>> chunks_;
  char* cursor_ = nullptr;
  std::size_t left_ = 0;
  std::size_t reserved_ = 0;
  std::size_t limit_ = static_cast<std::size_t>(-1);
};

}  // namespace rastro
