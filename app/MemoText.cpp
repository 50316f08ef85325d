#include "app/MemoText.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrava {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
// How far FindLineBreak looks a word at a time before it takes longer
// steps, and how long those are.
constexpr int kShortLineWords = 16;
constexpr std::ptrdiff_t kLongLineBlock = 64 << 10;

// Non-zero when a byte of the word is zero.
constexpr std::uint64_t ZeroByte(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighs;
}

// Exactly the zero bytes of the word: their high bit set, nothing else.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
  return ~(((word & ~kHighs) + ~kHighs) | word | ~kHighs);
}

bool IsContinuation(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Shown units of one character's lead byte: a four-byte sequence is a
// surrogate pair, continuation bytes count nothing.
std::size_t UnitsOfByte(unsigned char c) noexcept {
  if ((c & 0xC0) == 0x80) return 0;
  return c >= 0xF0 ? 2 : 1;
}

// Just past the line break at `at`: two bytes for a CR LF, one otherwise.
const char* PastBreak(const char* at, const char* end) noexcept {
  return at + (*at == '\r' && at + 1 != end && at[1] == '\n' ? 2 : 1);
}

}  // namespace

const char* FindLineBreak(const char* p, const char* end) noexcept {
  // Most lines are short: eight bytes at a time first.
  for (int words = 0; words < kShortLineWords && end - p >= 8; ++words) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    if (ZeroByte(word ^ (kOnes * '\n')) | ZeroByte(word ^ (kOnes * '\r'))) {
      while (*p != '\n' && *p != '\r') ++p;
      return p;
    }
    p += 8;
  }
  // A long line: the C library's search, a block at a time so that the
  // search for one byte does not run far past the other.
  while (p != end) {
    const char* const blockEnd = p + std::min<std::ptrdiff_t>(end - p, kLongLineBlock);
    const auto* lf = static_cast<const char*>(std::memchr(p, '\n', blockEnd - p));
    const auto* cr = static_cast<const char*>(std::memchr(p, '\r', (lf ? lf : blockEnd) - p));
    if (cr != nullptr) return cr;
    if (lf != nullptr) return lf;
    p = blockEnd;
  }
  return end;
}

TMemoText::TMemoText() : starts_{0} {}

void TMemoText::Assign(std::string text) {
  text_ = std::move(text);
  IndexFrom(0);
  summary_.Clear();
  summary_.Extend(text_, 0);
}

void TMemoText::Append(std::string_view piece) {
  // A CR at the end joins an LF at the start of the piece, and the line
  // before the last may end in that CR: index again from its chunk.
  const std::size_t line = lineCount_ >= 2 ? lineCount_ - 2 : 0;
  const std::size_t oldSize = text_.size();
  text_.append(piece);
  IndexFrom(line / kStride);
  summary_.Extend(text_, oldSize);
}

void TMemoText::Reserve(std::size_t bytes) {
  text_.reserve(bytes);
  summary_.Reserve(bytes);
}

void TMemoText::IndexFrom(std::size_t chunk) {
  starts_.resize(chunk + 1);
  shownStarts_.clear();
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  const char* p = begin + starts_[chunk];
  std::size_t line = chunk * kStride;
  // A break ends at p + 1, or at p + 2 for a CR LF; a kept line starts there.
  const auto passBreak = [&](const char* at) {
    ++line;
    if (line % kStride == 0)
      starts_.push_back(static_cast<std::size_t>(PastBreak(at, end) - begin));
  };
  if constexpr (std::endian::native == std::endian::little) {
    // Every CR is a break, and every LF that does not follow a CR. p starts
    // at a position, never right after the CR of a CR LF.
    bool crLast = false;  // the byte before p is a CR
#if defined(__SSE2__)
    // Sixty-four bytes at a time, one bit a byte.
    const __m128i crs = _mm_set1_epi8('\r');
    const __m128i lfs = _mm_set1_epi8('\n');
    for (; end - p >= 64; p += 64) {
      std::uint64_t cr = 0, lf = 0;
      for (int part = 0; part < 64; part += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + part));
        cr |=
            std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, crs)))}
            << part;
        lf |=
            std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lfs)))}
            << part;
      }
      std::uint64_t breaks = cr | (lf & ~((cr << 1) | (crLast ? 1 : 0)));
      crLast = (cr >> 63) != 0;
      if (breaks == 0) continue;
      const int count = std::popcount(breaks);
      if (line % kStride + static_cast<std::size_t>(count) < kStride) {
        line += static_cast<std::size_t>(count);
        continue;
      }
      for (; breaks != 0; breaks &= breaks - 1) passBreak(p + std::countr_zero(breaks));
    }
#endif
    // Eight bytes at a time, the high bit of each byte.
    std::uint64_t crBefore = crLast ? 0x80 : 0;  // the byte before the word is a CR
    for (; end - p >= 8; p += 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      const std::uint64_t cr = ZeroBytes(word ^ (kOnes * '\r'));
      const std::uint64_t lf = ZeroBytes(word ^ (kOnes * '\n'));
      std::uint64_t breaks = cr | (lf & ~((cr << 8) | crBefore));
      crBefore = cr >> 56;
      if (breaks == 0) continue;
      const int count = std::popcount(breaks);
      if (line % kStride + static_cast<std::size_t>(count) < kStride) {
        line += static_cast<std::size_t>(count);
        continue;
      }
      for (; breaks != 0; breaks &= breaks - 1) passBreak(p + std::countr_zero(breaks) / 8);
    }
    // The LF of a CR LF split by the word boundary is no break of its own.
    if (crBefore != 0 && p != end && *p == '\n') ++p;
  }
  while (true) {
    p = FindLineBreak(p, end);
    if (p == end) break;
    passBreak(p);
    p = PastBreak(p, end);
  }
  lineCount_ = line + 1;
}

std::size_t TMemoText::LineStart(std::size_t line) const {
  line = std::min(line, lineCount_ - 1);
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  const char* p = begin + starts_[line / kStride];
  for (std::size_t skip = line % kStride; skip > 0; --skip) {
    p = FindLineBreak(p, end);
    p = PastBreak(p, end);
  }
  return static_cast<std::size_t>(p - begin);
}

std::size_t TMemoText::LineEnd(std::size_t line) const {
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  return static_cast<std::size_t>(FindLineBreak(begin + LineStart(line), end) - begin);
}

std::string_view TMemoText::LineText(std::size_t line) const {
  const std::size_t start = LineStart(line);
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  return {begin + start,
          static_cast<std::size_t>(FindLineBreak(begin + start, end) - begin) - start};
}

std::size_t TMemoText::ChunkOf(std::size_t position) const {
  return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), position) -
                                  starts_.begin()) -
         1;
}

std::size_t TMemoText::LineOf(std::size_t position) const {
  position = std::min(position, text_.size());
  const std::size_t chunk = ChunkOf(position);
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  const char* p = begin + starts_[chunk];
  std::size_t line = chunk * kStride;
  while (true) {
    p = FindLineBreak(p, end);
    if (p == end || static_cast<std::size_t>(p - begin) >= position) return line;
    p = PastBreak(p, end);
    if (static_cast<std::size_t>(p - begin) > position) return line;  // inside a CR LF
    ++line;
  }
}

std::size_t TMemoText::Snap(std::size_t offset) const noexcept {
  offset = std::min(offset, text_.size());
  while (offset > 0 && offset < text_.size() && IsContinuation(text_[offset])) --offset;
  if (offset > 0 && offset < text_.size() && text_[offset - 1] == '\r' && text_[offset] == '\n')
    --offset;
  return offset;
}

std::size_t TMemoText::NextPosition(std::size_t position) const noexcept {
  if (position >= text_.size()) return text_.size();
  if (text_[position] == '\r' && position + 1 < text_.size() && text_[position + 1] == '\n')
    return position + 2;
  ++position;
  while (position < text_.size() && IsContinuation(text_[position])) ++position;
  return position;
}

std::size_t TMemoText::PreviousPosition(std::size_t position) const noexcept {
  if (position == 0) return 0;
  return Snap(std::min(position, text_.size()) - 1);
}

std::size_t TMemoText::ShownUnits(std::size_t from, std::size_t to) const noexcept {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text_.data()) + from;
  const auto* const end = reinterpret_cast<const unsigned char*>(text_.data()) + to;
  const auto* p = begin;
  std::size_t units = 0;
  while (p != end) {
    // Runs of ASCII without an LF, eight bytes at a time.
    while (end - p >= 8) {
      std::uint64_t word;
      std::memcpy(&word, p, 8);
      if ((word & kHighs) != 0 || ZeroByte(word ^ (kOnes * '\n'))) break;
      units += 8;
      p += 8;
    }
    if (p == end) break;
    // The LF of a CR LF pair adds nothing: the pair is one separator. A
    // position is never between the two, so p[-1] is inside [from, to).
    if (!(*p == '\n' && p != begin && p[-1] == '\r')) units += UnitsOfByte(*p);
    ++p;
  }
  return units;
}

void TMemoText::EnsureShownIndex() const {
  if (!shownStarts_.empty()) return;
  shownStarts_.reserve(starts_.size());
  std::size_t shown = 0;
  for (std::size_t k = 0; k < starts_.size(); ++k) {
    if (k > 0) shown += ShownUnits(starts_[k - 1], starts_[k]);
    shownStarts_.push_back(shown);
  }
}

std::size_t TMemoText::ShownOffset(std::size_t position) const {
  position = Snap(position);
  EnsureShownIndex();
  const std::size_t chunk = ChunkOf(position);
  return shownStarts_[chunk] + ShownUnits(starts_[chunk], position);
}

std::size_t TMemoText::PositionOfShown(std::size_t shown) const {
  EnsureShownIndex();
  const std::size_t chunk = static_cast<std::size_t>(
      std::upper_bound(shownStarts_.begin(), shownStarts_.end(), shown) - shownStarts_.begin() - 1);
  std::size_t position = starts_[chunk];
  std::size_t at = shownStarts_[chunk];
  while (position < text_.size()) {
    const std::size_t next = NextPosition(position);
    const std::size_t units = UnitsOfByte(static_cast<unsigned char>(text_[position]));
    if (at + units > shown) break;
    at += units;
    position = next;
  }
  return position;
}

QString ShownText(QString text) {
  const qsizetype first = text.indexOf(QLatin1Char('\r'));
  if (first < 0) return text;
  QChar* const begin = text.data();
  const QChar* const end = begin + text.size();
  const QChar* in = begin + first;
  QChar* out = begin + first;
  for (; in != end; ++in) {
    if (*in == QLatin1Char('\r')) {
      *out++ = QLatin1Char('\n');
      if (in + 1 != end && in[1] == QLatin1Char('\n')) ++in;
    } else {
      *out++ = *in;
    }
  }
  text.truncate(out - begin);
  return text;
}

QString TMemoText::ShownString(std::size_t from, std::size_t to) const {
  from = Snap(from);
  to = std::max(from, Snap(to));
  return ShownText(QString::fromUtf8(text_.data() + from, static_cast<qsizetype>(to - from)));
}

QString TMemoText::CopiedText(std::size_t from, std::size_t to) const {
  QString text = ShownString(from, to);
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u == QChar::LineSeparator || u == QChar::ParagraphSeparator || u == 0xFDD0 || u == 0xFDD1)
      c = QLatin1Char('\n');
    else if (u == QChar::Nbsp)
      c = QLatin1Char(' ');
  }
  return text;
}

}  // namespace kestrava
