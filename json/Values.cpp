#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>

#include "json/Internal.h"
#include "json/JSON.h"

namespace kestrava {

using detail::Access;

namespace {

void* HeapAlloc(std::size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// Heap storage of a top-level text, or the in-place bytes of a short one.
void StoreText(TJSONValue& v, std::string_view text) {
  const std::uint32_t n = detail::CheckedSize(text.size());
  detail::TextStorage& t = Access::Text(v);
  if (n <= detail::kSmallText) {
    if (n != 0) std::memcpy(t.small, text.data(), n);
  } else {
    t.large = static_cast<char*>(HeapAlloc(n));
    std::memcpy(t.large, text.data(), n);
  }
  Access::Size(v) = n;
}

void ReleaseText(TJSONValue& v) noexcept {
  if (Access::Size(v) > detail::kSmallText && !(Access::Flags(v) & detail::kInArena))
    std::free(Access::Text(v).large);
}

// Room in the table of a container for one more entry; gives the table.
template <class Entry>
Entry* GrowTable(TJSONValue& container, Entry* table, detail::Arena* arena) {
  const std::uint32_t count = Access::Size(container);
  unsigned char& flags = Access::Flags(container);
  const std::size_t capacity = (flags & detail::kExactTable) ? count
                               : count == 0                  ? 0
                                            : std::max<std::size_t>(4, std::bit_ceil(count));
  if (count < capacity) return table;
  if (count == UINT32_MAX) throw std::bad_alloc();
  const std::size_t grown = std::max<std::size_t>(4, std::bit_ceil(std::size_t{count} + 1));
  Entry* fresh;
  if (arena != nullptr) {
    fresh = static_cast<Entry*>(arena->AllocAligned(grown * sizeof(Entry)));
    if (count != 0) std::memcpy(fresh, table, count * sizeof(Entry));
  } else {
    fresh = static_cast<Entry*>(std::realloc(table, grown * sizeof(Entry)));
    if (fresh == nullptr) throw std::bad_alloc();
  }
  flags &= static_cast<unsigned char>(~detail::kExactTable);
  return fresh;
}

// Takes apart the tree below a heap container without recursion: the
// containers being emptied are chained through their link field.
void DestroyChildren(TJSONValue& top) noexcept {
  TJSONValue* current = &top;
  Access::Link(top) = nullptr;
  for (;;) {
    std::uint32_t& count = Access::Size(*current);
    if (count != 0) {
      TJSONValue* child;
      if (current->Kind() == TJSONKind::Object) {
        auto& object = static_cast<TJSONObject&>(*current);
        detail::Pair& pair = Access::Pairs(object)[--count];
        if (Access::ArenaOf(object) == nullptr) std::free(const_cast<char*>(pair.name));
        child = pair.value;
      } else {
        child = Access::Items(static_cast<TJSONArray&>(*current))[--count];
      }
      if (Access::Flags(*child) & detail::kInArena) continue;
      if (detail::IsContainer(*child) && Access::Size(*child) != 0) {
        Access::Link(*child) = current;
        current = child;
        continue;
      }
      delete child;
      continue;
    }
    if (current == &top) return;
    TJSONValue* parent = Access::Link(*current);
    delete current;  // empty by now: its destructor only releases its own storage
    current = parent;
  }
}

template <class Container>
void ReleaseContainer(Container& c) noexcept {
  if (Access::Size(c) != 0) DestroyChildren(c);
  detail::Arena*& arena = Access::ArenaOf(c);
  if (arena != nullptr) {
    detail::Arena::Destroy(arena);
  } else if constexpr (std::is_same_v<Container, TJSONObject>) {
    std::free(Access::Pairs(c));
  } else {
    std::free(Access::Items(c));
  }
}

const char* NewHeapName(std::string_view name) {
  const std::uint32_t n = detail::CheckedSize(name.size());
  char* p = static_cast<char*>(HeapAlloc(sizeof n + n));
  std::memcpy(p, &n, sizeof n);
  if (n != 0) std::memcpy(p + sizeof n, name.data(), n);
  return p;
}

std::unique_ptr<TJSONValue> OrNull(std::unique_ptr<TJSONValue> value) {
  if (value == nullptr) return std::make_unique<TJSONNull>();
  return value;
}

}  // namespace

// ---- TJSONValue ----

TJSONValue::~TJSONValue() = default;

const char* TJSONValue::ClassName() const noexcept {
  switch (kind_) {
    case TJSONKind::Object:
      return "TJSONObject";
    case TJSONKind::Array:
      return "TJSONArray";
    case TJSONKind::String:
      return "TJSONString";
    case TJSONKind::Number:
      return "TJSONNumber";
    case TJSONKind::True:
      return "TJSONTrue";
    case TJSONKind::False:
      return "TJSONFalse";
    case TJSONKind::Null:
      return "TJSONNull";
  }
  return "TJSONValue";
}

std::string TJSONValue::ToString() const {
  return detail::WriteCompact(*this);
}

std::unique_ptr<TJSONValue> TJSONValue::Clone() const {
  return detail::CloneTree(*this);
}

void TJSONValue::CheckClone() const {
  detail::CheckCloneTree(*this);
}

const TJSONValue* TJSONValue::FindValue(std::string_view name) const noexcept {
  if (kind_ != TJSONKind::Object) return nullptr;
  const detail::Pair* pairs = Access::Pairs(static_cast<const TJSONObject&>(*this));
  for (std::uint32_t i = 0; i < size_; ++i) {
    if (detail::NameOf(pairs[i].name) == name) return pairs[i].value;
  }
  return nullptr;
}

std::string TJSONValue::GetValue(std::string_view name, std::string_view defaultValue) const {
  const TJSONValue* v = FindValue(name);
  if (v == nullptr) return std::string(defaultValue);
  switch (v->Kind()) {
    case TJSONKind::Null:
      return std::string(defaultValue);
    case TJSONKind::String:
    case TJSONKind::Number:
      return std::string(detail::TextOf(*v));
    case TJSONKind::True:
      return "true";
    case TJSONKind::False:
      return "false";
    case TJSONKind::Object:
    case TJSONKind::Array:
      break;
  }
  throw EJSONException(std::string("Conversion from ") + v->ClassName() +
                       " to string is not supported");
}

template <class T>
requires std::same_as<T, TJSONObject> || std::same_as<T, TJSONArray>
const T* TJSONValue::GetValue(std::string_view name, const T* defaultValue) const {
  const TJSONValue* v = FindValue(name);
  if (v == nullptr || v->Kind() == TJSONKind::Null) return defaultValue;
  constexpr TJSONKind wanted = std::same_as<T, TJSONObject> ? TJSONKind::Object : TJSONKind::Array;
  if (v->Kind() != wanted) throw EInvalidCast("Invalid class typecast");
  return static_cast<const T*>(v);
}

template const TJSONObject* TJSONValue::GetValue<TJSONObject>(std::string_view,
                                                              const TJSONObject*) const;
template const TJSONArray* TJSONValue::GetValue<TJSONArray>(std::string_view,
                                                            const TJSONArray*) const;

// ---- strings and numbers ----

TJSONString::TJSONString(std::string_view value) : TJSONValue(TJSONKind::String) {
  StoreText(*this, value);
}
TJSONString::~TJSONString() {
  ReleaseText(*this);
}
std::string_view TJSONString::Value() const noexcept {
  return detail::TextOf(*this);
}

TJSONNumber::TJSONNumber(std::string_view text) : TJSONValue(TJSONKind::Number) {
  StoreText(*this, text);
}
TJSONNumber::~TJSONNumber() {
  ReleaseText(*this);
}
std::string_view TJSONNumber::Value() const noexcept {
  return detail::TextOf(*this);
}

// ---- object ----

TJSONObject::TJSONObject() : TJSONValue(TJSONKind::Object) {}
TJSONObject::~TJSONObject() {
  ReleaseContainer(*this);
}

TJSONObject& TJSONObject::AddPair(std::string_view name, std::string_view value) {
  return AddPair(name, std::make_unique<TJSONString>(value));
}

TJSONObject& TJSONObject::AddPair(std::string_view name, std::unique_ptr<TJSONValue> value) {
  value = OrNull(std::move(value));
  pairs_ = GrowTable(*this, pairs_, arena_);
  const char* stored = arena_ != nullptr ? detail::NewArenaName(*arena_, name) : NewHeapName(name);
  pairs_[Access::Size(*this)] = detail::Pair{stored, value.release()};
  ++Access::Size(*this);
  return *this;
}

std::size_t TJSONObject::Count() const noexcept {
  return Access::Size(*this);
}

std::string_view TJSONObject::PairName(std::size_t index) const noexcept {
  if (index >= Count()) return {};
  return detail::NameOf(pairs_[index].name);
}

const TJSONValue* TJSONObject::PairValue(std::size_t index) const noexcept {
  if (index >= Count()) return nullptr;
  return pairs_[index].value;
}

// ---- array ----

TJSONArray::TJSONArray() : TJSONValue(TJSONKind::Array) {}
TJSONArray::~TJSONArray() {
  ReleaseContainer(*this);
}

std::size_t TJSONArray::Count() const noexcept {
  return Access::Size(*this);
}

const TJSONValue* TJSONArray::Get(std::size_t index) const noexcept {
  if (index >= Count()) return nullptr;
  return items_[index];
}

TJSONArray& TJSONArray::AddElement(std::unique_ptr<TJSONValue> value) {
  value = OrNull(std::move(value));
  items_ = GrowTable(*this, items_, arena_);
  items_[Access::Size(*this)] = value.release();
  ++Access::Size(*this);
  return *this;
}

// ---- casts ----

std::unique_ptr<TJSONObject> AsJSONObject(std::unique_ptr<TJSONValue> value) {
  if (value == nullptr) return nullptr;
  if (value->Kind() != TJSONKind::Object) throw EInvalidCast("Invalid class typecast");
  return std::unique_ptr<TJSONObject>(static_cast<TJSONObject*>(value.release()));
}

std::unique_ptr<TJSONArray> AsJSONArray(std::unique_ptr<TJSONValue> value) {
  if (value == nullptr) return nullptr;
  if (value->Kind() != TJSONKind::Array) throw EInvalidCast("Invalid class typecast");
  return std::unique_ptr<TJSONArray>(static_cast<TJSONArray*>(value.release()));
}

// ---- shared helpers ----

namespace detail {

namespace {

struct SharedWords {
  TJSONTrue yes;
  TJSONFalse no;
  TJSONNull null;
  SharedWords() noexcept {
    Access::Flags(yes) = kInArena;
    Access::Flags(no) = kInArena;
    Access::Flags(null) = kInArena;
  }
};

const SharedWords kSharedWords;

}  // namespace

const TJSONValue* SharedWord(TJSONKind kind) noexcept {
  switch (kind) {
    case TJSONKind::True:
      return &kSharedWords.yes;
    case TJSONKind::False:
      return &kSharedWords.no;
    default:
      return &kSharedWords.null;
  }
}

TJSONValue* NewArenaText(Arena& arena, TJSONKind kind, std::string_view text) {
  static_assert(sizeof(TJSONString) % Arena::kAlign == 0);
  static_assert(sizeof(TJSONNumber) == sizeof(TJSONString));
  const std::uint32_t n = CheckedSize(text.size());
  void* mem = arena.AllocAligned(sizeof(TJSONString));
  TJSONValue* v = kind == TJSONKind::String
                      ? static_cast<TJSONValue*>(::new (mem) TJSONString(std::string_view{}))
                      : static_cast<TJSONValue*>(::new (mem) TJSONNumber(std::string_view{}));
  Access::Flags(*v) = kInArena;
  TextStorage& t = Access::Text(*v);
  if (n <= kSmallText) {
    if (n != 0) std::memcpy(t.small, text.data(), n);
  } else {
    t.large = arena.AllocBytes(n);
    std::memcpy(t.large, text.data(), n);
  }
  Access::Size(*v) = n;
  return v;
}

const char* NewArenaName(Arena& arena, std::string_view name) {
  const std::uint32_t n = CheckedSize(name.size());
  char* p = arena.AllocBytes(sizeof n + n);
  std::memcpy(p, &n, sizeof n);
  if (n != 0) std::memcpy(p + sizeof n, name.data(), n);
  return p;
}

std::unique_ptr<TJSONValue> NewScalar(TJSONKind kind, std::string_view text) {
  switch (kind) {
    case TJSONKind::String:
      return std::make_unique<TJSONString>(text);
    case TJSONKind::Number:
      return std::make_unique<TJSONNumber>(text);
    case TJSONKind::True:
      return std::make_unique<TJSONTrue>();
    case TJSONKind::False:
      return std::make_unique<TJSONFalse>();
    default:
      return std::make_unique<TJSONNull>();
  }
}

}  // namespace detail

}  // namespace kestrava
