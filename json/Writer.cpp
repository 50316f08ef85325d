// Compact and display text, written without recursion: into one growing
// buffer, or a piece at a time into a buffer of one piece.

#include <algorithm>
#include <cstring>
#include <vector>

#include "json/Internal.h"
#include "json/JsonFormat.h"

namespace kestrava::detail {

namespace {

// Escape letter for each byte, or 0 for a byte written unchanged.
constexpr auto kEscapes = [] {
  struct Table {
    char letter[256] = {};
  } t;
  t.letter[static_cast<unsigned char>('"')] = '"';
  t.letter[static_cast<unsigned char>('\\')] = '\\';
  t.letter[static_cast<unsigned char>('/')] = '/';
  t.letter[0x08] = 'b';
  t.letter[0x09] = 't';
  t.letter[0x0A] = 'n';
  t.letter[0x0C] = 'f';
  t.letter[0x0D] = 'r';
  return t;
}();

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t ZeroBytes(std::uint64_t x) {
  return (x - kOnes) & ~x & kHighs;
}

// Nonzero when one of the eight bytes may need an escape (a control
// character, quotation mark, backslash or solidus).
inline std::uint64_t MayNeedEscape(std::uint64_t x) {
  return ((x - kOnes * 0x20) & ~x & kHighs) | ZeroBytes(x ^ (kOnes * '"')) |
         ZeroBytes(x ^ (kOnes * '\\')) | ZeroBytes(x ^ (kOnes * '/'));
}

// The text being written: kept whole, or, with `Pieces`, handed out piece
// by piece as each piece fills, so that no more than one piece is held.
template <bool Pieces>
class Output {
 public:
  // Writes after what `text` holds already.
  Output(std::string&& text, std::size_t expected) requires(!Pieces)
      : text_(std::move(text)), start_(text_.size()) {
    text_.resize(start_ + expected);
    pos_ = text_.data() + start_;
    end_ = text_.data() + text_.size();
  }

  explicit Output(const TextPieces& pieces) requires Pieces : pieces_(&pieces) {
    text_.resize(kTextPieceSize);
    pos_ = text_.data();
    end_ = pos_ + text_.size();
  }

  // Room for at least `n` more bytes; gives the write position.
  char* Need(std::size_t n) {
    if (static_cast<std::size_t>(end_ - pos_) < n) Grow(n);
    return pos_;
  }

  void Put(char c) { *Need(1) = c, ++pos_; }
  void Put(const char* s, std::size_t n) {
    if constexpr (Pieces) {
      // A long number text is cut into slices.
      for (; n > kSlice; s += kSlice, n -= kSlice) PutBytes(s, kSlice);
    }
    PutBytes(s, n);
  }

  void PutString(std::string_view s) {
    if (!Pieces || s.size() <= kSlice) {
      char* p = Need(2 * s.size() + 2);
      *p++ = '"';
      p = PutEscaped(p, s);
      *p++ = '"';
      pos_ = p;
      return;
    }
    // A long string is cut into slices; an escape is never cut, as each
    // slice is escaped on its own.
    Put('"');
    for (; !s.empty(); s.remove_prefix(std::min(s.size(), kSlice))) {
      const std::string_view slice = s.substr(0, kSlice);
      pos_ = PutEscaped(Need(2 * slice.size()), slice);
    }
    Put('"');
  }

  void PutIndent(std::size_t spaces) {
    if (Pieces && spaces + 2 > kSlice) {
      // The indentation of a very deep value is cut into slices.
      Put("\r\n", 2);
      for (std::size_t n = 0; spaces > 0; spaces -= n) {
        n = std::min(spaces, kSlice);
        std::memset(Need(n), ' ', n);
        pos_ += n;
      }
      return;
    }
    char* p = Need(spaces + 2);
    p[0] = '\r';
    p[1] = '\n';
    std::memset(p + 2, ' ', spaces);
    pos_ = p + 2 + spaces;
  }

  std::string Take() requires(!Pieces) {
    text_.resize(static_cast<std::size_t>(pos_ - text_.data()));
    return std::move(text_);
  }

  // True once `pieces` gave false: nothing more is handed out.
  bool Stopped() const noexcept { return Pieces && stopped_; }
  // Hands out the last piece; false when `pieces` gave false for any.
  bool Finish() requires Pieces {
    Hand();
    return !stopped_;
  }

 private:
  // Slices of at most this many bytes fit a piece even when every byte is
  // escaped.
  static constexpr std::size_t kSlice = kTextPieceSize / 4;

  static char* PutByte(char* p, char c) {
    const char letter = kEscapes.letter[static_cast<unsigned char>(c)];
    if (letter == 0) {
      *p++ = c;
    } else {
      p[0] = '\\';
      p[1] = letter;
      p += 2;
    }
    return p;
  }

  // The escaped bytes of `s` at `p`, which has room for twice their number.
  static char* PutEscaped(char* p, std::string_view s) {
    const char* in = s.data();
    const char* const end = in + s.size();
    while (end - in >= 8) {
      std::uint64_t x;
      std::memcpy(&x, in, 8);
      if (MayNeedEscape(x) == 0) {
        std::memcpy(p, in, 8);
        p += 8;
        in += 8;
        continue;
      }
      for (int i = 0; i < 8; ++i) p = PutByte(p, *in++);
    }
    while (in != end) p = PutByte(p, *in++);
    return p;
  }

  void PutBytes(const char* s, std::size_t n) {
    char* p = Need(n);
    std::memcpy(p, s, n);
    pos_ = p + n;
  }

  void Grow(std::size_t n) {
    if constexpr (Pieces) {
      Hand();
      if (static_cast<std::size_t>(end_ - pos_) >= n) return;
    }
    // Grows with what this writer wrote, not with the text it began after,
    // so that appending many small texts to a long one stays cheap.
    const std::size_t used = static_cast<std::size_t>(pos_ - text_.data());
    const std::size_t written = used - start_;
    text_.resize(used + std::max({n, written, std::size_t{256}}));
    pos_ = text_.data() + used;
    end_ = text_.data() + text_.size();
  }

  // Hands what the piece holds to `pieces` and empties it.
  void Hand() {
    const auto used = static_cast<std::size_t>(pos_ - text_.data());
    if (used != 0 && !stopped_) stopped_ = !(*pieces_)(std::string_view(text_.data(), used));
    pos_ = text_.data();
  }

  std::string text_;
  std::size_t start_ = 0;  // length of the text before this writer's part
  char* pos_ = nullptr;
  char* end_ = nullptr;
  const TextPieces* pieces_ = nullptr;
  bool stopped_ = false;
};

template <class Out>
void PutScalar(Out& out, const TJSONValue& v) {
  switch (v.Kind()) {
    case TJSONKind::String:
      out.PutString(TextOf(v));
      break;
    case TJSONKind::Number: {
      const std::string_view t = TextOf(v);
      out.Put(t.data(), t.size());
      break;
    }
    case TJSONKind::True:
      out.Put("true", 4);
      break;
    case TJSONKind::False:
      out.Put("false", 5);
      break;
    default:
      out.Put("null", 4);
      break;
  }
}

std::size_t ExpectedSize(const TJSONValue& v) {
  if (IsContainer(v)) return 64 + 16 * std::size_t{Access::Size(v)};
  return 16 + 2 * std::size_t{Access::Size(v)};
}

struct Frame {
  const TJSONValue* container;
  std::uint32_t next;
};

// Writes `root` to `out`. `depth`: the levels of enclosing containers the
// value is written in.
template <bool Display, class Out>
void Write(Out& out, const TJSONValue& root, std::size_t depth) {
  std::vector<Frame> stack;
  const TJSONValue* v = &root;
  for (;;) {
    // Write v, descending into it when it is a non-empty container.
    if (IsContainer(*v)) {
      const bool object = v->Kind() == TJSONKind::Object;
      out.Put(object ? '{' : '[');
      if (Access::Size(*v) == 0) {
        if constexpr (Display) out.PutIndent(4 * (depth + stack.size()));
        out.Put(object ? '}' : ']');
      } else {
        stack.push_back(Frame{v, 0});
      }
    } else {
      PutScalar(out, *v);
    }
    // Find the next value to write, closing finished containers.
    for (;;) {
      if (stack.empty() || out.Stopped()) return;
      Frame& top = stack.back();
      const TJSONValue& c = *top.container;
      const bool object = c.Kind() == TJSONKind::Object;
      if (top.next < Access::Size(c)) {
        if (top.next != 0) out.Put(',');
        if constexpr (Display) out.PutIndent(4 * (depth + stack.size()));
        if (object) {
          const Pair& pair = Access::Pairs(static_cast<const TJSONObject&>(c))[top.next];
          out.PutString(NameOf(pair.name));
          if constexpr (Display) {
            out.Put(": ", 2);
          } else {
            out.Put(':');
          }
          v = pair.value;
        } else {
          v = Access::Items(static_cast<const TJSONArray&>(c))[top.next];
        }
        ++top.next;
        break;
      }
      stack.pop_back();
      if constexpr (Display) out.PutIndent(4 * (depth + stack.size()));
      out.Put(object ? '}' : ']');
    }
  }
}

template <bool Display>
std::string WriteWhole(const TJSONValue& value, std::string&& into, std::size_t depth) {
  Output<false> out(std::move(into), ExpectedSize(value));
  Write<Display>(out, value, depth);
  return out.Take();
}

template <bool Display>
bool WritePieces(const TJSONValue& value, const TextPieces& pieces, std::size_t depth) {
  Output<true> out(pieces);
  Write<Display>(out, value, depth);
  return out.Finish();
}

}  // namespace

std::string WriteCompact(const TJSONValue& value) {
  return WriteWhole<false>(value, std::string(), 0);
}

std::string WriteDisplay(const TJSONValue& value) {
  return WriteWhole<true>(value, std::string(), 0);
}

}  // namespace kestrava::detail

namespace kestrava {

std::string TJson::Format(const TJSONValue& value) {
  return detail::WriteDisplay(value);
}

void AppendCompactText(std::string& text, const TJSONValue& value) {
  text = detail::WriteWhole<false>(value, std::move(text), 0);
}

void AppendDisplayText(std::string& text, const TJSONValue& value, std::size_t depth) {
  text = detail::WriteWhole<true>(value, std::move(text), depth);
}

bool WriteCompactText(const TJSONValue& value, const TextPieces& pieces) {
  return detail::WritePieces<false>(value, pieces, 0);
}

bool WriteDisplayText(const TJSONValue& value, const TextPieces& pieces, std::size_t depth) {
  return detail::WritePieces<true>(value, pieces, depth);
}

}  // namespace kestrava
