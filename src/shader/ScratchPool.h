// Containers lent out for the length of one call and given back cleared, so that macro
// expansion reuses their capacity instead of allocating anew for every call it handles.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace rastro {

// `Container` needs clear(), capacity() and default construction. A container that grew
// beyond `kKeepCapacity` elements gives its memory back when returned, so that one huge
// expansion does not pin its memory for the rest of the run.
template <class Container, std::size_t kKeepCapacity = 4096>
class ScratchPool {
 public:
  class Lease {
   public:
    explicit Lease(ScratchPool& pool) : pool_(pool), item_(pool.Take()) {}
    ~Lease() { pool_.Give(item_); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    Container& operator*() const { return *item_; }
    Container* operator->() const { return item_; }

   private:
    ScratchPool& pool_;
    Container* item_;
  };

  // Throws std::bad_alloc like any container growth.
  Lease Acquire() { return Lease(*this); }

 private:
  Container* Take() {
    if (!free_.empty()) {
      Container* item = free_.back();
      free_.pop_back();
      return item;
    }
    // Room for every item to come back, so that giving back never allocates.
    free_.reserve(owned_.size() + 1);
    owned_.push_back(std::make_unique<Container>());
    return owned_.back().get();
  }

  void Give(Container* item) noexcept {
    if (item->capacity() > kKeepCapacity)
      *item = Container();
    else
      item->clear();
    free_.push_back(item);
  }

  std::vector<std::unique_ptr<Container>> owned_;
  std::vector<Container*> free_;
};

}  // namespace rastro
