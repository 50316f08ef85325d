#pragma once

// The system's JSON document layer: the value tree, the parser, the compact
// text, typed reads and Clone. The indented display text is in JsonFormat.h.
//
// Ownership: a value made by construction, Clone or parsing belongs to the
// caller (std::unique_ptr). Containers own their elements. Lookups, typed
// reads of objects and arrays and Get return non-owning pointers that stay
// valid while the owning top-level value lives.
//
// Text is UTF-8 throughout. A lone surrogate produced by a \u escape is
// stored as U+FFFD, so every stored string is valid UTF-8 and the compact
// text of any parsed value re-parses to an equal tree.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace kestrava {

// Conversion of a member to a kind it cannot be read as, e.g.
// "Conversion from TJSONObject to string is not supported".
class EJSONException : public Exception {
 public:
  using Exception::Exception;
};

enum class TJSONKind : unsigned char { Object, Array, String, Number, True, False, Null };

class TJSONObject;
class TJSONArray;
class TJSONValue;

namespace detail {
// Storage of a parsed or cloned tree below its top-level value; owned by
// that top-level value and released with it in one step.
class Arena;
// The layer's own access to the private representation.
struct Access;
// Text of a string or number: up to 8 bytes in place, longer ones elsewhere.
union TextStorage {
  char small[8];
  char* large;
};
// A pair of an object: the name (a 32-bit length followed by the bytes) and
// the value.
struct Pair {
  const char* name;
  TJSONValue* value;
};
}  // namespace detail

class TJSONValue {
 public:
  virtual ~TJSONValue();
  TJSONValue(const TJSONValue&) = delete;
  TJSONValue& operator=(const TJSONValue&) = delete;

  TJSONKind Kind() const noexcept { return kind_; }
  // "TJSONObject", "TJSONArray", "TJSONString", ... as used in messages.
  const char* ClassName() const noexcept;

  // Compact text: no whitespace, exactly eight two-character escapes.
  std::string ToString() const;

  // Deep copy owned by the caller. Throws EConvertError
  // "'<text>' is not a valid floating point value" for a number outside the
  // 80-bit extended range.
  std::unique_ptr<TJSONValue> Clone() const;
  // Throws what Clone would throw, without copying anything: for a reader
  // that uses the values where they are but must fail as a copy would.
  void CheckClone() const;

  // Value of the first pair with exactly this name; none on a non-object.
  const TJSONValue* FindValue(std::string_view name) const noexcept;

  // Typed read as text: default when missing or null; strings give their
  // content, numbers their stored text, true/false the words; objects and
  // arrays throw EJSONException.
  std::string GetValue(std::string_view name, std::string_view defaultValue) const;

  // Typed read as TJSONObject or TJSONArray: default when missing or null;
  // any other kind throws EInvalidCast "Invalid class typecast".
  template <class T>
  requires std::same_as<T, TJSONObject> || std::same_as<T, TJSONArray>
  const T* GetValue(std::string_view name, const T* defaultValue = nullptr) const;

 protected:
  explicit TJSONValue(TJSONKind kind) noexcept : kind_(kind) {}

 private:
  friend struct detail::Access;
  TJSONKind kind_;
  unsigned char flags_ = 0;
  // Text length of a string or number, pair or element count of a container.
  std::uint32_t size_ = 0;
};

class TJSONString final : public TJSONValue {
 public:
  explicit TJSONString(std::string_view value);
  ~TJSONString() override;
  std::string_view Value() const noexcept;

 private:
  friend struct detail::Access;
  detail::TextStorage text_;
};

class TJSONNumber final : public TJSONValue {
 public:
  // The text is kept exactly as given; it is not checked here.
  explicit TJSONNumber(std::string_view text);
  ~TJSONNumber() override;
  std::string_view Value() const noexcept;

 private:
  friend struct detail::Access;
  detail::TextStorage text_;
};

class TJSONTrue final : public TJSONValue {
 public:
  TJSONTrue() noexcept : TJSONValue(TJSONKind::True) {}
};

class TJSONFalse final : public TJSONValue {
 public:
  TJSONFalse() noexcept : TJSONValue(TJSONKind::False) {}
};

class TJSONNull final : public TJSONValue {
 public:
  TJSONNull() noexcept : TJSONValue(TJSONKind::Null) {}
};

class TJSONObject final : public TJSONValue {
 public:
  TJSONObject();
  ~TJSONObject() override;

  // Appends a pair whose value is a string holding `value`.
  TJSONObject& AddPair(std::string_view name, std::string_view value);
  // Appends a pair; the object takes ownership of the value (a null pointer
  // appends a null value).
  TJSONObject& AddPair(std::string_view name, std::unique_ptr<TJSONValue> value);

  std::size_t Count() const noexcept;
  std::string_view PairName(std::size_t index) const noexcept;
  const TJSONValue* PairValue(std::size_t index) const noexcept;

 private:
  friend struct detail::Access;
  detail::Pair* pairs_ = nullptr;
  detail::Arena* arena_ = nullptr;  // set on the top-level value of a parsed or cloned tree
  TJSONValue* link_ = nullptr;      // used while the tree is taken apart
};

class TJSONArray final : public TJSONValue {
 public:
  TJSONArray();
  ~TJSONArray() override;

  std::size_t Count() const noexcept;
  // Index from 0 to Count() - 1.
  const TJSONValue* Get(std::size_t index) const noexcept;
  // Appends the value; the array takes ownership (a null pointer appends a
  // null value).
  TJSONArray& AddElement(std::unique_ptr<TJSONValue> value);

 private:
  friend struct detail::Access;
  TJSONValue** items_ = nullptr;
  detail::Arena* arena_ = nullptr;  // set on the top-level value of a parsed or cloned tree
  TJSONValue* link_ = nullptr;      // used while the tree is taken apart
};

// Parses UTF-8 text (a leading byte-order mark is skipped). Never throws for
// bad input: gives none for anything that is not exactly one JSON value,
// nests deeper than 512, or holds malformed UTF-8.
std::unique_ptr<TJSONValue> ParseJSONValue(std::string_view text);

inline constexpr int MaximumNestingLevel = 512;

// Object and array casts of a parse result: none gives none, the wanted kind
// passes, any other kind throws EInvalidCast (the value is destroyed).
std::unique_ptr<TJSONObject> AsJSONObject(std::unique_ptr<TJSONValue> value);
std::unique_ptr<TJSONArray> AsJSONArray(std::unique_ptr<TJSONValue> value);

// Equal trees: same kinds in the same order, same names, same string
// contents and the same number texts (compared as text: 1.0 and 1 differ).
bool JSONEqual(const TJSONValue& a, const TJSONValue& b);

}  // namespace kestrava
