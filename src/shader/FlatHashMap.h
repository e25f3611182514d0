// A small open-addressing hash map (linear probing, backward-shift deletion) for the
// preprocessor's hot lookups: one probe sequence in one array, no node per entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace rastro {

// `Key` is cheap to copy, default-constructible and equality-comparable; `Hash` gives a
// std::size_t. `Value` is a pointer, never null: a null value marks an empty slot.
template <class Key, class Value, class Hash>
class FlatHashMap {
 public:
  Value Find(const Key& key) const {
    if (count_ == 0) return nullptr;
    for (std::size_t i = Home(key);; i = (i + 1) & Mask()) {
      const Slot& slot = slots_[i];
      if (!slot.value) return nullptr;
      if (slot.key == key) return slot.value;
    }
  }

  // Stores `value` under `key`, replacing what was there. May throw std::bad_alloc, leaving
  // the map unchanged.
  void Assign(const Key& key, Value value) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    for (std::size_t i = Home(key);; i = (i + 1) & Mask()) {
      Slot& slot = slots_[i];
      if (!slot.value) {
        slot = Slot{key, value};
        ++count_;
        return;
      }
      if (slot.key == key) {
        slot.value = value;
        return;
      }
    }
  }

  bool Erase(const Key& key) {
    if (count_ == 0) return false;
    std::size_t hole = Home(key);
    for (;; hole = (hole + 1) & Mask()) {
      const Slot& slot = slots_[hole];
      if (!slot.value) return false;
      if (slot.key == key) break;
    }
    // Move later entries of the probe run back into the hole unless that would put them
    // before their home slot.
    for (std::size_t next = (hole + 1) & Mask(); slots_[next].value; next = (next + 1) & Mask()) {
      std::size_t home = Home(slots_[next].key);
      bool homeInRange = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
      if (homeInRange) continue;
      slots_[hole] = slots_[next];
      hole = next;
    }
    slots_[hole] = Slot{};
    --count_;
    return true;
  }

  std::size_t Size() const { return count_; }

 private:
  struct Slot {
    Key key{};
    Value value = nullptr;
  };

  // The caller's hash spread over all bits, so that the low bits pick slots well.
  std::size_t Home(const Key& key) const { return HomeIn(key, Mask()); }
  static std::size_t HomeIn(const Key& key, std::size_t mask) {
    std::uint64_t h = Hash()(key);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h) & mask;
  }
  std::size_t Mask() const { return slots_.size() - 1; }

  void Grow() {
    std::vector<Slot> larger(slots_.empty() ? 16 : slots_.size() * 2);
    std::size_t mask = larger.size() - 1;
    for (const Slot& slot : slots_) {
      if (!slot.value) continue;
      std::size_t i = HomeIn(slot.key, mask);
      while (larger[i].value) i = (i + 1) & mask;
      larger[i] = slot;
    }
    slots_.swap(larger);
  }

  std::vector<Slot> slots_;  // a power of two in size, at most half full
  std::size_t count_ = 0;
};

}  // namespace rastro
