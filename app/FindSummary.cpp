#include "app/FindSummary.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestrava {

namespace {

// Every byte from 0x80 on is one value, and every ASCII byte is taken with
// its 0x20 bit set: a letter's two cases are one value (so are a few other
// pairs, such as '@' and '`', which only makes the summary a little less
// sharp).
constexpr unsigned char FoldByte(unsigned char c) {
  return c >= 0x80 ? 0x80 : static_cast<unsigned char>(c | 0x20);
}

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (std::size_t c = 0; c < 256; ++c) table[c] = FoldByte(static_cast<unsigned char>(c));
  return table;
}

constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
constexpr std::uint64_t kCaseBits = 0x2020202020202020ULL;

// Eight bytes folded at once, as FoldByte folds each.
constexpr std::uint64_t FoldWord(std::uint64_t word) {
  const std::uint64_t high = word & kHighs;
  return ((word | kCaseBits) & ~((high >> 7) * 0xFF)) | high;
}

}  // namespace

unsigned char TFindSummary::Fold(unsigned char c) noexcept {
  return kFold[c];
}

std::uint32_t TFindSummary::BitOf(std::uint32_t group) noexcept {
  // Fibonacci hashing: the top bits of the product.
  return (group * 0x9E3779B1u) >> (32 - 14);
}

void TFindSummary::Set(std::size_t chunk, std::uint32_t bit) noexcept {
  chunks_[chunk][bit >> 6] |= std::uint64_t{1} << (bit & 63);
}

void TFindSummary::Reserve(std::size_t bytes) {
  chunks_.reserve(bytes / kChunk + 1);
}

void TFindSummary::Extend(std::string_view text, std::size_t oldSize) {
  static_assert(kBits == std::size_t{1} << 14);
  static_assert(kChunk % kSpacing == 0 && kOverlap % kSpacing == 0 && kSpacing <= 4);
  if (text.size() < kGroup) return;
  const std::size_t chunks = (text.size() + kChunk - 1) / kChunk;
  if (chunks_.size() < chunks) chunks_.resize(chunks, TBits{});
  // The first spaced group that was not whole before.
  std::size_t at = oldSize >= kGroup ? oldSize - kGroup + 1 : 0;
  at = (at + kSpacing - 1) / kSpacing * kSpacing;
  const std::size_t last = text.size() - kGroup;  // start of the last whole group
  const auto* const data = reinterpret_cast<const unsigned char*>(text.data());
  const auto groupAt = [data](std::size_t p) {
    return std::uint32_t{kFold[data[p]]} | std::uint32_t{kFold[data[p + 1]]} << 8 |
           std::uint32_t{kFold[data[p + 2]]} << 16 | std::uint32_t{kFold[data[p + 3]]} << 24;
  };
  while (at <= last) {
    const std::size_t chunk = at / kChunk;
    if (at % kChunk < kOverlap && chunk > 0) {
      // The groups here belong to the chunk before too.
      const std::size_t end = std::min(last + 1, chunk * kChunk + kOverlap);
      for (; at < end; at += kSpacing) {
        const std::uint32_t bit = BitOf(groupAt(at));
        Set(chunk, bit);
        Set(chunk - 1, bit);
      }
      continue;
    }
    const std::size_t end = std::min(last + 1, (chunk + 1) * kChunk);
    std::uint64_t* const bits = chunks_[chunk].data();
    const auto set = [bits](std::uint32_t bit) {
      bits[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    };
    if constexpr (std::endian::native == std::endian::little && kSpacing == 4) {
      // Eight bytes folded at once give the two spaced groups in them.
      for (; at + 8 <= end + kGroup - 1 && text.size() - at >= 8; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, 8);
        const std::uint64_t folded = FoldWord(word);
        set(BitOf(static_cast<std::uint32_t>(folded)));
        set(BitOf(static_cast<std::uint32_t>(folded >> 32)));
      }
    }
    for (; at < end; at += kSpacing) set(BitOf(groupAt(at)));
  }
}

TFindSummary::TKeys TFindSummary::KeysOf(std::string_view folded) {
  TKeys keys;
  if (folded.size() < kShortest) return keys;
  const std::size_t groups = std::min(folded.size() - kGroup + 1, kOverlap);
  // A match starting `shift` bytes past a spaced byte holds the groups at
  // the offsets of the search that reach the next spaced bytes.
  for (std::size_t shift = 0; shift < kSpacing; ++shift) {
    std::vector<std::uint32_t> bits;
    for (std::size_t j = (kSpacing - shift) % kSpacing; j < groups; j += kSpacing) {
      std::uint32_t group = 0;  // the first byte lowest, as the text's groups
      for (std::size_t k = kGroup; k-- > 0;)
        group = (group << 8) | static_cast<unsigned char>(folded[j + k]);
      bits.push_back(BitOf(group));
    }
    std::sort(bits.begin(), bits.end());
    bits.erase(std::unique(bits.begin(), bits.end()), bits.end());
    keys.sets.push_back(std::move(bits));
  }
  return keys;
}

bool TFindSummary::MayHold(std::size_t chunk, const TKeys& keys) const noexcept {
  if (keys.Empty() || chunk >= chunks_.size()) return true;
  const TBits& bits = chunks_[chunk];
  return std::any_of(keys.sets.begin(), keys.sets.end(), [&bits](const auto& set) {
    return std::all_of(set.begin(), set.end(), [&bits](std::uint32_t bit) {
      return (bits[bit >> 6] >> (bit & 63) & 1) != 0;
    });
  });
}

}  // namespace kestrava
