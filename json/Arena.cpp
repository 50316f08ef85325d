#include "json/Arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace kestrava::detail {

namespace {

// Blocks stay small, so that little room is left unused at the end of a tree.
constexpr std::size_t kMaxGrowth = std::size_t{64} << 10;
constexpr std::size_t kHeader = AlignUp(sizeof(void*) * 2);

void* AllocateOrThrow(std::size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

Arena* Arena::Create(std::size_t firstCapacity) {
  firstCapacity = AlignUp(firstCapacity);
  const std::size_t self = AlignUp(sizeof(Arena));
  const std::size_t total = kHeader + self + firstCapacity;
  char* raw = static_cast<char*>(AllocateOrThrow(total));
  auto* block = reinterpret_cast<Block*>(raw);
  block->next = nullptr;
  block->size = total;
  Arena* arena = ::new (raw + kHeader) Arena();
  arena->blocks_ = block;
  arena->bottom_ = raw + kHeader + self;
  arena->top_ = raw + total;
  arena->nextCapacity_ = std::clamp<std::size_t>(firstCapacity * 2, 4096, kMaxGrowth);
  arena->footprint_ = total;
  return arena;
}

void Arena::Destroy(Arena* arena) noexcept {
  if (arena == nullptr) return;
  // The arena itself lives in the first block: nothing of it is read after that one goes.
  Block* block = arena->blocks_;
  while (block != nullptr) {
    Block* next = block->next;
    std::free(block);
    block = next;
  }
}

void* Arena::AllocSlow(std::size_t size, bool aligned) {
  const bool dedicated = size > nextCapacity_ / 4;
  const std::size_t capacity = dedicated ? AlignUp(size) : nextCapacity_;
  const std::size_t total = kHeader + capacity;
  char* raw = static_cast<char*>(AllocateOrThrow(total));
  footprint_ += total;
  auto* block = reinterpret_cast<Block*>(raw);
  block->size = total;
  // The first block (holding the arena) must stay last in the list.
  block->next = blocks_->next;
  blocks_->next = block;
  if (dedicated) return raw + kHeader;
  bottom_ = raw + kHeader;
  top_ = raw + total;
  nextCapacity_ = std::min(nextCapacity_ * 2, kMaxGrowth);
  if (aligned) {
    void* p = bottom_;
    bottom_ += size;
    return p;
  }
  top_ -= size;
  return top_;
}

}  // namespace kestrava::detail
