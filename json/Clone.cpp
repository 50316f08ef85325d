// Clone: one pass measures the copy and checks every number, a second pass
// builds it in a single arena block of exactly that size.

#include <vector>

#include "json/Internal.h"

namespace kestrava::detail {

namespace {

struct Frame {
  const TJSONValue* source;
  TJSONValue* copy;
  std::uint32_t next;
};

// Objects of the source that share a name record share it in the copy too:
// recently copied records, looked up by their source record. Measuring and
// building look up the same records in the same order, so both passes see
// the same hits.
class SharedNames {
 public:
  // True when `source` was copied before; `copy` then holds the record.
  bool Find(const char* source, const char*& copy) {
    Slot& slot = Lookup(source);
    if (slot.source == source) {
      copy = slot.copy;
      return true;
    }
    slot.source = source;
    slot.copy = nullptr;
    return false;
  }
  void Remember(const char* source, const char* copy) { Lookup(source).copy = copy; }

 private:
  struct Slot {
    const char* source = nullptr;
    const char* copy = nullptr;
  };
  Slot& Lookup(const char* source) {
    const auto key = reinterpret_cast<std::uintptr_t>(source);
    return slots_[(key ^ (key >> 9) ^ (key >> 17)) & (kSlots - 1)];
  }
  static constexpr std::size_t kSlots = 256;
  Slot slots_[kSlots];
};

void CheckNumber(const TJSONValue& number) {
  const std::string_view text = TextOf(number);
  if (!FitsExtendedRange(text))
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

// Arena bytes of a container's table and names.
std::size_t TableBytes(const TJSONValue& container, SharedNames& names) {
  const std::uint32_t n = Access::Size(container);
  if (container.Kind() == TJSONKind::Array) return AlignUp(std::size_t{n} * sizeof(TJSONValue*));
  std::size_t bytes = std::size_t{n} * sizeof(Pair);
  const Pair* pairs = Access::Pairs(static_cast<const TJSONObject&>(container));
  for (std::uint32_t i = 0; i < n; ++i) {
    const char* ignored;
    if (!names.Find(pairs[i].name, ignored))
      bytes += sizeof(std::uint32_t) + NameOf(pairs[i].name).size();
  }
  return bytes;
}

// Arena bytes of a value below the top level, its table excluded.
std::size_t NodeBytes(const TJSONValue& v) {
  switch (v.Kind()) {
    case TJSONKind::Object:
      return sizeof(TJSONObject);
    case TJSONKind::Array:
      return sizeof(TJSONArray);
    case TJSONKind::String:
    case TJSONKind::Number: {
      const std::uint32_t n = Access::Size(v);
      return sizeof(TJSONString) + (n > kSmallText ? n : 0);
    }
    default:
      return 0;
  }
}

// Calls `visit` for every value below `root`, in document order.
template <class Visit>
void ForEachBelow(const TJSONValue& root, Visit&& visit) {
  if (!IsContainer(root)) return;
  std::vector<std::pair<const TJSONValue*, std::uint32_t>> stack;
  stack.emplace_back(&root, 0);
  while (!stack.empty()) {
    auto& [container, next] = stack.back();
    if (next == Access::Size(*container)) {
      stack.pop_back();
      continue;
    }
    const TJSONValue& child = *ChildOf(*container, next++);
    visit(child);
    if (IsContainer(child) && Access::Size(child) != 0) stack.emplace_back(&child, 0);
  }
}

std::size_t MeasureAndCheck(const TJSONValue& root) {
  SharedNames names;
  std::size_t bytes = TableBytes(root, names);
  ForEachBelow(root, [&](const TJSONValue& child) {
    if (child.Kind() == TJSONKind::Number) CheckNumber(child);
    bytes += NodeBytes(child);
    if (IsContainer(child) && Access::Size(child) != 0) bytes += TableBytes(child, names);
  });
  return bytes;
}

// Gives `copy` a table like the one of `source`, names copied, values unset.
void MakeTable(Arena& arena, const TJSONValue& source, TJSONValue& copy, SharedNames& names) {
  const std::uint32_t n = Access::Size(source);
  Access::Flags(copy) |= kExactTable;
  if (n == 0) return;
  if (source.Kind() == TJSONKind::Array) {
    Access::Items(static_cast<TJSONArray&>(copy)) = static_cast<TJSONValue**>(
        arena.AllocAligned(AlignUp(std::size_t{n} * sizeof(TJSONValue*))));
    return;
  }
  const Pair* from = Access::Pairs(static_cast<const TJSONObject&>(source));
  auto* to = static_cast<Pair*>(arena.AllocAligned(std::size_t{n} * sizeof(Pair)));
  for (std::uint32_t i = 0; i < n; ++i) {
    const char* name;
    if (!names.Find(from[i].name, name)) {
      name = NewArenaName(arena, NameOf(from[i].name));
      names.Remember(from[i].name, name);
    }
    to[i] = Pair{name, nullptr};
  }
  Access::Pairs(static_cast<TJSONObject&>(copy)) = to;
}

TJSONValue* CopyBelowTop(Arena& arena, const TJSONValue& v, SharedNames& names) {
  switch (v.Kind()) {
    case TJSONKind::Object: {
      auto* o = ::new (arena.AllocAligned(sizeof(TJSONObject))) TJSONObject();
      Access::Flags(*o) = kInArena;
      MakeTable(arena, v, *o, names);
      Access::Size(*o) = Access::Size(v);
      return o;
    }
    case TJSONKind::Array: {
      auto* a = ::new (arena.AllocAligned(sizeof(TJSONArray))) TJSONArray();
      Access::Flags(*a) = kInArena;
      MakeTable(arena, v, *a, names);
      Access::Size(*a) = Access::Size(v);
      return a;
    }
    case TJSONKind::String:
    case TJSONKind::Number:
      return NewArenaText(arena, v.Kind(), TextOf(v));
    default:
      return const_cast<TJSONValue*>(SharedWord(v.Kind()));
  }
}

void SetChild(TJSONValue& container, std::uint32_t i, TJSONValue* child) {
  if (container.Kind() == TJSONKind::Object) {
    Access::Pairs(static_cast<TJSONObject&>(container))[i].value = child;
  } else {
    Access::Items(static_cast<TJSONArray&>(container))[i] = child;
  }
}

}  // namespace

void CheckCloneTree(const TJSONValue& root) {
  if (root.Kind() == TJSONKind::Number) CheckNumber(root);
  ForEachBelow(root, [](const TJSONValue& child) {
    if (child.Kind() == TJSONKind::Number) CheckNumber(child);
  });
}

std::unique_ptr<TJSONValue> CloneTree(const TJSONValue& root) {
  if (!IsContainer(root)) {
    if (root.Kind() == TJSONKind::Number) CheckNumber(root);
    return NewScalar(root.Kind(),
                     root.Kind() == TJSONKind::String || root.Kind() == TJSONKind::Number
                         ? TextOf(root)
                         : std::string_view{});
  }
  const std::size_t bytes = MeasureAndCheck(root);
  std::unique_ptr<TJSONValue> top;
  if (root.Kind() == TJSONKind::Object) {
    top = std::make_unique<TJSONObject>();
  } else {
    top = std::make_unique<TJSONArray>();
  }
  if (Access::Size(root) == 0) return top;

  Arena* arena = Arena::Create(bytes);
  if (top->Kind() == TJSONKind::Object) {
    Access::ArenaOf(static_cast<TJSONObject&>(*top)) = arena;
  } else {
    Access::ArenaOf(static_cast<TJSONArray&>(*top)) = arena;
  }
  SharedNames names;
  MakeTable(*arena, root, *top, names);

  // The top-level count grows with each child set, so that a failure part
  // way leaves a consistent value behind to be destroyed.
  std::vector<Frame> stack;
  stack.push_back(Frame{&root, top.get(), 0});
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == Access::Size(*frame.source)) {
      stack.pop_back();
      continue;
    }
    const std::uint32_t i = frame.next++;
    const TJSONValue& child = *ChildOf(*frame.source, i);
    TJSONValue* copy = CopyBelowTop(*arena, child, names);
    SetChild(*frame.copy, i, copy);
    if (frame.copy == top.get()) Access::Size(*top) = i + 1;
    if (IsContainer(child) && Access::Size(child) != 0) stack.push_back(Frame{&child, copy, 0});
  }
  return top;
}

}  // namespace kestrava::detail
