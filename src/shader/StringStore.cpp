#include "StringStore.h"

#include <new>

namespace rastro {

char* StringStore::AllocateChunk(std::size_t bytes) {
  // A request larger than a chunk gets a chunk of its own; the current chunk stays in use.
  bool ownChunk = bytes > kChunkSize;
  std::size_t size = ownChunk ? bytes : kChunkSize;
  if (size > limit_ || reserved_ > limit_ - size) return nullptr;
  try {
    chunks_.reserve(chunks_.size() + 1);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  char* chunk = new (std::nothrow) char[size];
  if (!chunk) return nullptr;
  chunks_.emplace_back(chunk);
  reserved_ += size;
  if (ownChunk) return chunk;
  cursor_ = chunk + bytes;
  left_ = size - bytes;
  return chunk;
}

}  // namespace rastro
