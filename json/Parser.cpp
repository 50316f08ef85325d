// The parser: one pass over the text without recursion. Values below the top
// level go into an arena that the top-level value owns; a failure anywhere
// drops the arena, so nothing partial ever escapes.

#include <array>
#include <cstring>
#include <vector>

#include "base/Ascii.h"
#include "base/Utf8.h"
#include "json/Internal.h"

namespace kestrava {

namespace {

using detail::Access;
using detail::Arena;

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t ZeroBytes(std::uint64_t x) {
  return (x - kOnes) & ~x & kHighs;
}

// Nonzero when one of the eight bytes is a quotation mark, a backslash or
// above U+007F.
inline std::uint64_t StopsPlainRun(std::uint64_t x) {
  return ZeroBytes(x ^ (kOnes * '"')) | ZeroBytes(x ^ (kOnes * '\\')) | (x & kHighs);
}

inline bool IsSpace(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

class Parser {
 public:
  Parser(const char* begin, const char* end) : p_(begin), end_(end) {}

  std::unique_ptr<TJSONValue> Run();

 private:
  struct Frame {
    bool object;
    std::size_t first;      // first entry of this container in values_
    std::size_t firstName;  // first entry of this object in names_
  };

  // Skips a well-formed UTF-8 sequence of two or more bytes at p_.
  bool SkipMultiByte();
  // Reads a string whose opening quotation mark is at p_; gives its content,
  // which stays valid until the next string is read.
  bool ReadString(std::string_view& content);
  bool ReadEscaped(const char* start, std::string_view& content);
  bool ReadHex4(std::uint32_t& unit);
  bool ReadNumber(std::string_view& text);
  bool ReadWord(const char* word, std::size_t n) {
    if (static_cast<std::size_t>(end_ - p_) < n || std::memcmp(p_, word, n) != 0) return false;
    p_ += n;
    return true;
  }
  void SkipSpace() {
    while (p_ != end_ && IsSpace(*p_)) ++p_;
  }
  char Peek() const { return p_ != end_ ? *p_ : '\0'; }

  // Reads `"name"` and the colon after it.
  bool ReadName();
  TJSONValue* CloseContainer(bool top);

  Arena& TheArena() {
    if (arena_ == nullptr) arena_.reset(Arena::Create(ArenaStart()));
    return *arena_;
  }
  std::size_t ArenaStart() const {
    const std::size_t n = static_cast<std::size_t>(end_ - begin_);
    return n < 512 ? 512 : n > (std::size_t{64} << 10) ? std::size_t{64} << 10 : n;
  }

  struct ArenaOwner {
    void operator()(Arena* a) const noexcept { Arena::Destroy(a); }
  };

  const char* p_;
  const char* const end_;
  const char* const begin_ = p_;
  std::unique_ptr<Arena, ArenaOwner> arena_;
  std::array<Frame, MaximumNestingLevel> frames_;
  std::size_t depth_ = 0;
  std::vector<TJSONValue*> values_;
  std::vector<const char*> names_;
  std::string scratch_;
  detail::NameTable nameTable_;
  std::unique_ptr<TJSONValue> root_;
};

bool Parser::SkipMultiByte() {
  const std::size_t length =
      Utf8SequenceLength(std::string_view(p_, static_cast<std::size_t>(end_ - p_)), 0);
  p_ += length;
  return length != 0;
}

bool Parser::ReadString(std::string_view& content) {
  const char* start = ++p_;
  for (;;) {
    while (end_ - p_ >= 8) {
      std::uint64_t x;
      std::memcpy(&x, p_, 8);
      if (StopsPlainRun(x) != 0) break;
      p_ += 8;
    }
    if (p_ == end_) return false;
    const char c = *p_;
    if (c == '"') {
      content = std::string_view(start, static_cast<std::size_t>(p_ - start));
      ++p_;
      return true;
    }
    if (c == '\\') return ReadEscaped(start, content);
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (!SkipMultiByte()) return false;
    } else {
      ++p_;
    }
  }
}

bool Parser::ReadHex4(std::uint32_t& unit) {
  if (end_ - p_ < 4) return false;
  unit = 0;
  for (int i = 0; i < 4; ++i) {
    const int h = HexDigitValue(p_[i]);
    if (h < 0) return false;
    unit = unit * 16 + static_cast<std::uint32_t>(h);
  }
  p_ += 4;
  return true;
}

bool Parser::ReadEscaped(const char* start, std::string_view& content) {
  scratch_.assign(start, p_);
  for (;;) {
    if (p_ == end_) return false;
    const char c = *p_;
    if (c == '"') {
      ++p_;
      content = scratch_;
      return true;
    }
    if (c == '\\') {
      if (++p_ == end_) return false;
      const char e = *p_++;
      switch (e) {
        case '"':
          scratch_.push_back('"');
          break;
        case '\\':
          scratch_.push_back('\\');
          break;
        case '/':
          scratch_.push_back('/');
          break;
        case 'b':
          scratch_.push_back('\b');
          break;
        case 'f':
          scratch_.push_back('\f');
          break;
        case 'n':
          scratch_.push_back('\n');
          break;
        case 'r':
          scratch_.push_back('\r');
          break;
        case 't':
          scratch_.push_back('\t');
          break;
        case 'u': {
          std::uint32_t unit;
          if (!ReadHex4(unit)) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            // A high surrogate pairs with an immediately following low one;
            // alone it becomes U+FFFD, and what follows is read on its own.
            std::uint32_t low;
            const char* save = p_;
            if (end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u' && (p_ += 2, ReadHex4(low)) &&
                low >= 0xDC00 && low <= 0xDFFF) {
              unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            } else {
              p_ = save;
              unit = 0xFFFD;
            }
          } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            unit = 0xFFFD;
          }
          AppendUtf8(scratch_, unit);
          break;
        }
        default:
          return false;
      }
      continue;
    }
    const char* from = p_;
    if (static_cast<unsigned char>(c) >= 0x80) {
      if (!SkipMultiByte()) return false;
    } else {
      ++p_;
      while (p_ != end_ && *p_ != '"' && *p_ != '\\' && static_cast<unsigned char>(*p_) < 0x80)
        ++p_;
    }
    scratch_.append(from, p_);
  }
}

bool Parser::ReadNumber(std::string_view& text) {
  const char* start = p_;
  if (*p_ == '-') ++p_;
  if (p_ == end_) return false;
  if (*p_ == '0') {
    ++p_;
  } else if (*p_ >= '1' && *p_ <= '9') {
    ++p_;
    while (p_ != end_ && IsAsciiDigit(*p_)) ++p_;
  } else {
    return false;
  }
  if (p_ != end_ && *p_ == '.') {
    ++p_;
    if (p_ == end_ || !IsAsciiDigit(*p_)) return false;
    while (p_ != end_ && IsAsciiDigit(*p_)) ++p_;
  }
  if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
    ++p_;
    if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    if (p_ == end_ || !IsAsciiDigit(*p_)) return false;
    while (p_ != end_ && IsAsciiDigit(*p_)) ++p_;
  }
  text = std::string_view(start, static_cast<std::size_t>(p_ - start));
  return true;
}

bool Parser::ReadName() {
  if (Peek() != '"') return false;
  std::string_view name;
  if (!ReadString(name)) return false;
  names_.push_back(nameTable_.Intern(TheArena(), name));
  SkipSpace();
  if (Peek() != ':') return false;
  ++p_;
  return true;
}

TJSONValue* Parser::CloseContainer(bool top) {
  const Frame frame = frames_[depth_ - 1];
  const std::size_t n = values_.size() - frame.first;
  // An empty top-level container needs no arena at all.
  Arena* arenaPtr = (top && n == 0) ? nullptr : &TheArena();
  TJSONValue* made;
  if (frame.object) {
    TJSONObject* object;
    if (top) {
      root_ = std::make_unique<TJSONObject>();
      object = static_cast<TJSONObject*>(root_.get());
    } else {
      object = ::new (arenaPtr->AllocAligned(sizeof(TJSONObject))) TJSONObject();
      Access::Flags(*object) = detail::kInArena;
    }
    if (n != 0) {
      auto* pairs = static_cast<detail::Pair*>(arenaPtr->AllocAligned(n * sizeof(detail::Pair)));
      for (std::size_t i = 0; i < n; ++i)
        pairs[i] = detail::Pair{names_[frame.firstName + i], values_[frame.first + i]};
      Access::Pairs(*object) = pairs;
    }
    names_.resize(frame.firstName);
    made = object;
  } else {
    TJSONArray* array;
    if (top) {
      root_ = std::make_unique<TJSONArray>();
      array = static_cast<TJSONArray*>(root_.get());
    } else {
      array = ::new (arenaPtr->AllocAligned(sizeof(TJSONArray))) TJSONArray();
      Access::Flags(*array) = detail::kInArena;
    }
    if (n != 0) {
      auto** items = static_cast<TJSONValue**>(arenaPtr->AllocAligned(n * sizeof(TJSONValue*)));
      std::memcpy(items, values_.data() + frame.first, n * sizeof(TJSONValue*));
      Access::Items(*array) = items;
    }
    made = array;
  }
  Access::Flags(*made) |= detail::kExactTable;
  Access::Size(*made) = detail::CheckedSize(n);
  if (top && arena_ != nullptr) {
    // From here on the top-level value owns the arena.
    if (frame.object) {
      Access::ArenaOf(static_cast<TJSONObject&>(*made)) = arena_.release();
    } else {
      Access::ArenaOf(static_cast<TJSONArray&>(*made)) = arena_.release();
    }
  }
  values_.resize(frame.first);
  --depth_;
  return made;
}

std::unique_ptr<TJSONValue> Parser::Run() {
  if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
  TJSONValue* value = nullptr;
  TJSONKind scalarKind = TJSONKind::Null;
  std::string_view scalarText;
  for (;;) {
    // Read one value (or open a container and read its first pair's name).
    SkipSpace();
    const char c = Peek();
    if (c == '{' || c == '[') {
      if (depth_ == MaximumNestingLevel) return nullptr;
      ++p_;
      frames_[depth_++] = Frame{c == '{', values_.size(), names_.size()};
      SkipSpace();
      if (Peek() == (c == '{' ? '}' : ']')) {
        ++p_;
        value = CloseContainer(depth_ == 1);
      } else {
        if (c == '{' && !ReadName()) return nullptr;
        continue;
      }
    } else if (c == '"') {
      std::string_view content;
      if (!ReadString(content)) return nullptr;
      if (depth_ == 0) {
        scalarKind = TJSONKind::String;
        scalarText = content;
        break;
      }
      value = detail::NewArenaText(TheArena(), TJSONKind::String, content);
    } else if (c == '-' || IsAsciiDigit(c)) {
      std::string_view text;
      if (!ReadNumber(text)) return nullptr;
      if (depth_ == 0) {
        scalarKind = TJSONKind::Number;
        scalarText = text;
        break;
      }
      value = detail::NewArenaText(TheArena(), TJSONKind::Number, text);
    } else {
      TJSONKind kind;
      if (c == 't' && ReadWord("true", 4)) {
        kind = TJSONKind::True;
      } else if (c == 'f' && ReadWord("false", 5)) {
        kind = TJSONKind::False;
      } else if (c == 'n' && ReadWord("null", 4)) {
        kind = TJSONKind::Null;
      } else {
        return nullptr;
      }
      if (depth_ == 0) {
        scalarKind = kind;
        break;
      }
      value = const_cast<TJSONValue*>(detail::SharedWord(kind));
    }

    // Place the value in its container; close containers that end here.
    for (;;) {
      if (depth_ == 0) {
        // The top-level object or array: only whitespace may follow.
        SkipSpace();
        if (p_ != end_) return nullptr;
        return std::move(root_);
      }
      values_.push_back(value);
      SkipSpace();
      const Frame& frame = frames_[depth_ - 1];
      const char next = Peek();
      if (next == ',') {
        ++p_;
        if (frame.object) {
          SkipSpace();
          if (!ReadName()) return nullptr;
        }
        break;
      }
      if (next != (frame.object ? '}' : ']')) return nullptr;
      ++p_;
      value = CloseContainer(depth_ == 1);
    }
  }
  // A top-level string, number or word: nothing at all may follow.
  if (p_ != end_) return nullptr;
  return detail::NewScalar(scalarKind, scalarText);
}

}  // namespace

std::unique_ptr<TJSONValue> ParseJSONValue(std::string_view text) {
  Parser parser(text.data(), text.data() + text.size());
  return parser.Run();
}

}  // namespace kestrava
