#include <vector>

#include "json/Internal.h"

namespace kestrava {

using detail::Access;

bool JSONEqual(const TJSONValue& a, const TJSONValue& b) {
  struct Frame {
    const TJSONValue* a;
    const TJSONValue* b;
    std::uint32_t next;
  };
  std::vector<Frame> stack;
  const TJSONValue* x = &a;
  const TJSONValue* y = &b;
  for (;;) {
    if (x->Kind() != y->Kind()) return false;
    switch (x->Kind()) {
      case TJSONKind::String:
      case TJSONKind::Number:
        if (detail::TextOf(*x) != detail::TextOf(*y)) return false;
        break;
      case TJSONKind::Object:
      case TJSONKind::Array:
        if (Access::Size(*x) != Access::Size(*y)) return false;
        if (Access::Size(*x) != 0) stack.push_back(Frame{x, y, 0});
        break;
      default:
        break;
    }
    for (;;) {
      if (stack.empty()) return true;
      Frame& top = stack.back();
      if (top.next == Access::Size(*top.a)) {
        stack.pop_back();
        continue;
      }
      const std::uint32_t i = top.next++;
      if (top.a->Kind() == TJSONKind::Object) {
        const auto& pa = Access::Pairs(static_cast<const TJSONObject&>(*top.a))[i];
        const auto& pb = Access::Pairs(static_cast<const TJSONObject&>(*top.b))[i];
        if (detail::NameOf(pa.name) != detail::NameOf(pb.name)) return false;
      }
      x = detail::ChildOf(*top.a, i);
      y = detail::ChildOf(*top.b, i);
      break;
    }
  }
}

}  // namespace kestrava
