#include "app/TextSearch.h"

#include <QChar>
#include <QList>
#include <QString>
#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/FindSummary.h"
#include "base/Utf8.h"

namespace kestrava {

namespace {

// How much of the text a backward search looks at in one step.
constexpr std::size_t kBackwardBlock = 64 << 10;

bool IsCapital(char32_t c) {
  return QChar::isUpper(c) || QChar::isTitleCase(c);
}

std::string Utf8Of(char32_t c) {
  std::string bytes;
  AppendUtf8(bytes, c);
  return bytes;
}

// How common a byte is in the window's texts (indented JSON: spaces,
// quotation marks, line breaks, names in lower-case English, digits),
// roughly: letters by their frequency in English.
int Commonness(unsigned char c) {
  static constexpr int kLetters[26] = {36, 14, 26, 26, 40, 18, 18, 28, 34, 4,  8, 26, 22,
                                       34, 34, 18, 3,  32, 32, 36, 24, 10, 16, 4, 16, 3};
  if (c == ' ') return 100;
  if (c == '"') return 90;
  if (c == '\r' || c == '\n') return 60;
  if (c == ':' || c == ',') return 50;
  if (c >= 'a' && c <= 'z') return kLetters[c - 'a'];
  if (c >= '0' && c <= '9') return 30;
  if (c == '.') return 20;
  if (c >= 'A' && c <= 'Z') return 10;
  if (c >= 0x80) return 3;
  return 8;
}

// The two bytes looked for first: where each stands in a match and the
// values it may take there.
struct TProbeBytes {
  std::size_t offsetA;
  const unsigned char* valuesA;
  std::size_t countA;
  std::size_t offsetB;
  const unsigned char* valuesB;
  std::size_t countB;
};

// Starts looked at together.
constexpr std::size_t kBlockStarts = 64;

// The block finders: from `i` on, in steps of kBlockStarts while a whole
// block of starts is below `to`, the first block with a candidate and its
// candidates as bits (none when there is no such block; the block where
// the search stopped is given then).

#if defined(__SSE2__)
std::size_t NextBlockSse2(const unsigned char* data, std::size_t i, std::size_t to,
                          const TProbeBytes& probes, std::uint64_t& hits) {
  __m128i valuesA[8], valuesB[8];
  for (std::size_t k = 0; k < probes.countA; ++k)
    valuesA[k] = _mm_set1_epi8(static_cast<char>(probes.valuesA[k]));
  for (std::size_t k = 0; k < probes.countB; ++k)
    valuesB[k] = _mm_set1_epi8(static_cast<char>(probes.valuesB[k]));
  const auto equal = [](const unsigned char* at, const __m128i* values, std::size_t count) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i same = _mm_cmpeq_epi8(bytes, values[0]);
    for (std::size_t k = 1; k < count; ++k)
      same = _mm_or_si128(same, _mm_cmpeq_epi8(bytes, values[k]));
    return same;
  };
  for (; to - i >= kBlockStarts; i += kBlockStarts) {
    hits = 0;
    for (std::size_t part = 0; part < kBlockStarts; part += 16) {
      const unsigned char* const at = data + i + part;
      const __m128i both = _mm_and_si128(equal(at + probes.offsetA, valuesA, probes.countA),
                                         equal(at + probes.offsetB, valuesB, probes.countB));
      hits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(both))} << part;
    }
    if (hits != 0) return i;
  }
  hits = 0;
  return i;
}
#else
std::size_t NextBlockPlain(const unsigned char* data, std::size_t i, std::size_t to,
                           const TProbeBytes& probes, std::uint64_t& hits) {
  const auto has = [](const unsigned char* values, std::size_t count, unsigned char c) {
    return std::find(values, values + count, c) != values + count;
  };
  for (; to - i >= kBlockStarts; i += kBlockStarts) {
    hits = 0;
    for (std::size_t k = 0; k < kBlockStarts; ++k) {
      if (has(probes.valuesA, probes.countA, data[i + k + probes.offsetA]) &&
          has(probes.valuesB, probes.countB, data[i + k + probes.offsetB]))
        hits |= std::uint64_t{1} << k;
    }
    if (hits != 0) return i;
  }
  hits = 0;
  return i;
}
#endif

std::size_t NextCandidateBlock(const unsigned char* data, std::size_t i, std::size_t to,
                               const TProbeBytes& probes, std::uint64_t& hits) {
#if defined(__SSE2__)
  return NextBlockSse2(data, i, to, probes, hits);
#else
  return NextBlockPlain(data, i, to, probes, hits);
#endif
}

}  // namespace

void TTextSearch::TByteSet::Add(unsigned char value) {
  if (Has(value)) return;
  if (count < values.size()) values[count++] = value;
}

bool TTextSearch::TByteSet::Has(unsigned char value) const noexcept {
  return std::find(values.begin(), values.begin() + count, value) != values.begin() + count;
}

TTextSearch::TTextSearch(std::string_view needle) {
  if (needle.empty() || !IsValidUtf8(needle)) return;
  const QString text = QString::fromUtf8(needle.data(), static_cast<qsizetype>(needle.size()));
  const QList<uint> characters = text.toUcs4();
  caseSensitive_ = std::any_of(characters.begin(), characters.end(),
                               [](uint c) { return IsCapital(static_cast<char32_t>(c)); });
  for (const uint c : characters) {
    const auto character = static_cast<char32_t>(c);
    TSlot slot;
    slot.offset = length_;
    slot.forms.push_back(Utf8Of(character));
    slot.length = slot.forms.front().size();
    if (!caseSensitive_) {
      for (const char32_t other : {QChar::toLower(character), QChar::toUpper(character),
                                   QChar::toTitleCase(character), QChar::toCaseFolded(character)}) {
        std::string form = Utf8Of(other);
        // Only forms of the same length: every match has the search's.
        if (form.size() == slot.length &&
            std::find(slot.forms.begin(), slot.forms.end(), form) == slot.forms.end())
          slot.forms.push_back(std::move(form));
      }
    }
    length_ += slot.length;
    slots_.push_back(std::move(slot));
  }
  // Every form of a character folds alike (ASCII forms are the letter's
  // two cases, the others bytes from 0x80 on throughout); were one not to,
  // the search would have no folded form and read the text whole.
  const auto foldsAlike = [this] {
    for (const TSlot& slot : slots_) {
      for (std::size_t k = 0; k < slot.length; ++k) {
        const unsigned char folded =
            TFindSummary::Fold(static_cast<unsigned char>(slot.forms.front()[k]));
        for (const std::string& form : slot.forms)
          if (TFindSummary::Fold(static_cast<unsigned char>(form[k])) != folded) return false;
        folded_ += static_cast<char>(folded);
      }
    }
    return true;
  };
  if (!foldsAlike()) folded_.clear();
  // Every byte of the search, with the values it may take.
  std::vector<TProbe> probes;
  for (const TSlot& slot : slots_) {
    for (std::size_t k = 0; k < slot.length; ++k) {
      TProbe probe;
      probe.offset = slot.offset + k;
      for (const std::string& form : slot.forms) probe.set.Add(static_cast<unsigned char>(form[k]));
      probes.push_back(probe);
    }
  }
  const auto commonness = [](const TProbe& probe) {
    int sum = 0;
    for (std::size_t k = 0; k < probe.set.count; ++k) sum += Commonness(probe.set.values[k]);
    return sum;
  };
  // The rarest byte, and the rarer of the first and the last beside it:
  // the bytes of a word that is common as a whole are rare alike, and a
  // match's ends part it from that word's other places.
  const auto rarest =
      std::min_element(probes.begin(), probes.end(),
                       [&](const auto& a, const auto& b) { return commonness(a) < commonness(b); });
  rarer_ = *rarest;
  const TProbe& first = probes.front();
  const TProbe& last = probes.back();
  if (first.offset == rarer_.offset) {
    rare_ = last;
  } else if (last.offset == rarer_.offset) {
    rare_ = first;
  } else {
    rare_ = commonness(first) <= commonness(last) ? first : last;
  }
}

bool TTextSearch::MatchesAt(std::string_view text, std::size_t at) const noexcept {
  if (length_ == 0 || at > text.size() || text.size() - at < length_) return false;
  const char* const start = text.data() + at;
  for (const TSlot& slot : slots_) {
    const bool found = std::any_of(slot.forms.begin(), slot.forms.end(), [&](const auto& form) {
      return std::memcmp(start + slot.offset, form.data(), slot.length) == 0;
    });
    if (!found) return false;
  }
  return true;
}

// Candidates are where the two rare bytes of a match stand, looked for
// sixty-four starts at a time with the processor's vector instructions;
// each candidate is then checked in full.
template <class Found>
void TTextSearch::Scan(std::string_view text, std::size_t from, std::size_t to,
                       Found&& found) const {
  if (length_ == 0 || text.size() < length_) return;
  to = std::min(to, text.size() - length_ + 1);
  if (from >= to) return;
  const auto* const data = reinterpret_cast<const unsigned char*>(text.data());
  const TProbeBytes probes{rarer_.offset, rarer_.set.values.data(), rarer_.set.count,
                           rare_.offset,  rare_.set.values.data(),  rare_.set.count};
  std::size_t i = from;
  // The last of the starts looked at together is below `to`, so a whole
  // match from each is in the text.
  while (to - i >= kBlockStarts) {
    std::uint64_t hits = 0;
    i = NextCandidateBlock(data, i, to, probes, hits);
    for (; hits != 0; hits &= hits - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits));
      if (MatchesAt(text, at) && !found(at)) return;
    }
    if (to - i >= kBlockStarts) i += kBlockStarts;
  }
  for (; i < to; ++i) {
    if (rarer_.set.Has(data[i + rarer_.offset]) && rare_.set.Has(data[i + rare_.offset]) &&
        MatchesAt(text, i) && !found(i))
      return;
  }
}

std::size_t TTextSearch::FindForward(std::string_view text, std::size_t from,
                                     std::size_t to) const {
  std::size_t match = npos;
  Scan(text, from, to, [&match](std::size_t at) {
    match = at;
    return false;
  });
  return match;
}

std::size_t TTextSearch::FindBackward(std::string_view text, std::size_t from,
                                      std::size_t to) const {
  to = std::min(to, text.size());
  while (to > from) {
    const std::size_t blockStart = to - std::min(to - from, kBackwardBlock);
    std::size_t match = npos;
    Scan(text, blockStart, to, [&match](std::size_t at) {
      match = at;
      return true;
    });
    if (match != npos) return match;
    to = blockStart;
  }
  return npos;
}

std::size_t TTextSearch::Count(std::string_view text, std::size_t from, std::size_t to) const {
  std::size_t count = 0;
  Scan(text, from, to, [&count](std::size_t) {
    ++count;
    return true;
  });
  return count;
}

}  // namespace kestrava
