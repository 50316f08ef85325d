#pragma once

// Private representation of the value tree, shared by the layer's parts.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "json/Arena.h"
#include "json/JSON.h"

namespace kestrava::detail {

enum ValueFlags : unsigned char {
  // The value lives in an arena owned by its top-level value: it is never
  // deleted on its own, and neither is anything below it.
  kInArena = 1,
  // The container's table holds exactly Count() entries (no spare room).
  kExactTable = 2,
};

// Texts up to this length are held inside the value itself.
inline constexpr std::uint32_t kSmallText = sizeof(TextStorage);

struct Access {
  static unsigned char& Flags(TJSONValue& v) noexcept { return v.flags_; }
  static unsigned char Flags(const TJSONValue& v) noexcept { return v.flags_; }
  static std::uint32_t& Size(TJSONValue& v) noexcept { return v.size_; }
  static std::uint32_t Size(const TJSONValue& v) noexcept { return v.size_; }

  static TextStorage& Text(TJSONValue& v) noexcept {
    return v.kind_ == TJSONKind::String ? static_cast<TJSONString&>(v).text_
                                        : static_cast<TJSONNumber&>(v).text_;
  }
  static const TextStorage& Text(const TJSONValue& v) noexcept {
    return v.kind_ == TJSONKind::String ? static_cast<const TJSONString&>(v).text_
                                        : static_cast<const TJSONNumber&>(v).text_;
  }
  static Pair*& Pairs(TJSONObject& o) noexcept { return o.pairs_; }
  static const Pair* Pairs(const TJSONObject& o) noexcept { return o.pairs_; }
  static TJSONValue**& Items(TJSONArray& a) noexcept { return a.items_; }
  static TJSONValue* const* Items(const TJSONArray& a) noexcept { return a.items_; }
  static Arena*& ArenaOf(TJSONObject& o) noexcept { return o.arena_; }
  static Arena*& ArenaOf(TJSONArray& a) noexcept { return a.arena_; }
  static TJSONValue*& Link(TJSONValue& v) noexcept {
    return v.kind_ == TJSONKind::Object ? static_cast<TJSONObject&>(v).link_
                                        : static_cast<TJSONArray&>(v).link_;
  }
};

inline bool IsContainer(const TJSONValue& v) noexcept {
  return v.Kind() == TJSONKind::Object || v.Kind() == TJSONKind::Array;
}

// Content of a string or the text of a number.
inline std::string_view TextOf(const TJSONValue& v) noexcept {
  const std::uint32_t n = Access::Size(v);
  const TextStorage& t = Access::Text(v);
  return {n <= kSmallText ? t.small : t.large, n};
}

// A pair name: a 32-bit length, then the bytes.
inline std::string_view NameOf(const char* name) noexcept {
  std::uint32_t n;
  std::memcpy(&n, name, sizeof n);
  return {name + sizeof n, n};
}

inline std::uint32_t CheckedSize(std::size_t n) {
  if (n > UINT32_MAX) throw std::bad_alloc();
  return static_cast<std::uint32_t>(n);
}

// Child `i` of a container, in document order.
inline const TJSONValue* ChildOf(const TJSONValue& v, std::uint32_t i) noexcept {
  if (v.Kind() == TJSONKind::Object)
    return Access::Pairs(static_cast<const TJSONObject&>(v))[i].value;
  return Access::Items(static_cast<const TJSONArray&>(v))[i];
}

// The shared immutable words used below top-level values of arena trees.
const TJSONValue* SharedWord(TJSONKind kind) noexcept;

// Makes a string or number in an arena.
TJSONValue* NewArenaText(Arena& arena, TJSONKind kind, std::string_view text);
// Makes a name record in an arena.
const char* NewArenaName(Arena& arena, std::string_view name);

// Name records of one arena tree, shared among the objects that use the same
// name: records of recently seen names, looked up by their bytes.
class NameTable {
 public:
  const char* Intern(Arena& arena, std::string_view name) {
    if (name.size() > kLongest) return NewArenaName(arena, name);
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    const char*& slot = slots_[(hash ^ (hash >> 15)) & (kSlots - 1)];
    if (slot == nullptr || NameOf(slot) != name) slot = NewArenaName(arena, name);
    return slot;
  }

 private:
  static constexpr std::size_t kSlots = 512;
  static constexpr std::size_t kLongest = 64;
  const char* slots_[kSlots] = {};
};

// Top-level (heap) copy of a string, number or word.
std::unique_ptr<TJSONValue> NewScalar(TJSONKind kind, std::string_view text);

std::string WriteCompact(const TJSONValue& value);
std::string WriteDisplay(const TJSONValue& value);
std::unique_ptr<TJSONValue> CloneTree(const TJSONValue& value);
void CheckCloneTree(const TJSONValue& value);

// False when a number text is not a decimal number or lies outside the 80-bit
// extended range (too small a magnitude reads as zero and fits).
bool FitsExtendedRange(std::string_view text);

}  // namespace kestrava::detail
