#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrava::detail {

// Bump storage for the values below a parsed or cloned top-level value.
// Values and their tables are taken from the bottom of a block upwards, text
// bytes from the top downwards, so neither pays for the other's alignment.
// Nothing in it is released on its own: the whole arena goes at once.
class Arena {
 public:
  static constexpr std::size_t kAlign = 8;

  // The arena lives inside its first block of `firstCapacity` usable bytes.
  static Arena* Create(std::size_t firstCapacity);
  static void Destroy(Arena* arena) noexcept;

  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // `size` must be a multiple of kAlign.
  void* AllocAligned(std::size_t size) {
    if (static_cast<std::size_t>(top_ - bottom_) < size) return AllocSlow(size, true);
    void* p = bottom_;
    bottom_ += size;
    return p;
  }

  char* AllocBytes(std::size_t size) {
    if (static_cast<std::size_t>(top_ - bottom_) < size)
      return static_cast<char*>(AllocSlow(size, false));
    top_ -= size;
    return top_;
  }

  // Bytes taken from the system so far.
  std::size_t Footprint() const noexcept { return footprint_; }

 private:
  struct Block {
    Block* next;
    std::size_t size;
  };

  Arena() = default;
  void* AllocSlow(std::size_t size, bool aligned);

  Block* blocks_ = nullptr;
  char* bottom_ = nullptr;
  char* top_ = nullptr;
  std::size_t nextCapacity_ = 0;
  std::size_t footprint_ = 0;
};

// Rounds a size up to the arena's alignment.
constexpr std::size_t AlignUp(std::size_t size) {
  return (size + Arena::kAlign - 1) & ~(Arena::kAlign - 1);
}

}  // namespace kestrava::detail
