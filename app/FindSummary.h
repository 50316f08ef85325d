#pragma once

// A summary of a long text that lets a search pass over most of it: for
// each chunk of 64 KiB, a small Bloom filter of the four-byte groups that
// start in it at every kSpacing-th byte (and in the first bytes of the next
// chunk, so that a match across a chunk's end is seen from the chunk where
// it starts). A match holds the search's groups at the offsets that fall on
// that spacing from where it starts: one set of groups for each place a
// match may start at between two spaced bytes. Groups are folded: every
// byte from 0x80 on is one value and every ASCII byte has its 0x20 bit set
// (a letter's two cases are one value), so every case form that
// TTextSearch accepts for a search has the search's own groups. A chunk
// that lacks a group of each set holds no start of a match; the others are
// read as before.
//
// The summary is kept beside the text (TMemoText) and grows with it, so it
// is there before anyone searches.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrava {

class TFindSummary {
 public:
  static constexpr std::size_t kChunk = std::size_t{64} << 10;
  // How far past its end a chunk's groups go: the groups of a search are
  // looked up at offsets below this.
  static constexpr std::size_t kOverlap = 256;
  static constexpr std::size_t kGroup = 4;
  // Groups are taken at every kSpacing-th byte of the text only: the
  // summary costs less to make, and a search of at least kShortest bytes
  // has a group on the spacing wherever it starts.
  static constexpr std::size_t kSpacing = 4;
  static constexpr std::size_t kShortest = kGroup + kSpacing - 1;

  // The looked-up bits of a search, a set for each place a match may start
  // at from a spaced byte on: empty when the summary cannot help (a search
  // shorter than kShortest).
  struct TKeys {
    std::vector<std::vector<std::uint32_t>> sets;
    bool Empty() const noexcept { return sets.empty(); }
  };

  void Clear() noexcept { chunks_.clear(); }
  // Room for a text of `bytes` bytes.
  void Reserve(std::size_t bytes);
  // Takes in the groups of `text` that are whole only from `oldSize` on:
  // the text was `oldSize` bytes long when last given.
  void Extend(std::string_view text, std::size_t oldSize);

  // The keys of a match's bytes folded as the summary folds them.
  static TKeys KeysOf(std::string_view folded);
  // Folds a byte as the summary does.
  static unsigned char Fold(unsigned char c) noexcept;

  std::size_t ChunkCount() const noexcept { return chunks_.size(); }
  // Whether a match of the keys may start in the chunk.
  bool MayHold(std::size_t chunk, const TKeys& keys) const noexcept;

 private:
  static constexpr std::size_t kBits = 16384;
  using TBits = std::array<std::uint64_t, kBits / 64>;

  static std::uint32_t BitOf(std::uint32_t group) noexcept;
  void Set(std::size_t chunk, std::uint32_t bit) noexcept;

  std::vector<TBits> chunks_;
};

}  // namespace kestrava
