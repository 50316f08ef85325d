// Any text either parses to none or to a value whose compact text and
// display text both parse back to an equal tree; Clone gives an equal tree or
// the range failure; typed reads give a text or one of their failures.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace {

using namespace kestrava;

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadMembers(const TJSONValue& value) {
  if (value.Kind() != TJSONKind::Object) return;
  const auto& object = static_cast<const TJSONObject&>(value);
  for (std::size_t i = 0; i < object.Count() && i < 8; ++i) {
    const std::string name(object.PairName(i));
    const TJSONValue* found = object.FindValue(name);
    Check(found != nullptr);
    try {
      object.GetValue(name, "");
      Check(found->Kind() != TJSONKind::Object && found->Kind() != TJSONKind::Array);
    } catch (const EJSONException&) {
      Check(found->Kind() == TJSONKind::Object || found->Kind() == TJSONKind::Array);
    }
    try {
      object.GetValue<TJSONObject>(name);
    } catch (const EInvalidCast&) {
      Check(found->Kind() != TJSONKind::Object && found->Kind() != TJSONKind::Null);
    }
  }
}

// Appending to a copy leaves what was there and adds the new value last.
void AppendTo(std::unique_ptr<TJSONValue> copy, const std::string& compact) {
  if (copy->Kind() == TJSONKind::Array) {
    auto array = AsJSONArray(std::move(copy));
    const bool empty = array->Count() == 0;
    array->AddElement(ParseJSONValue(compact));
    array->AddElement(std::make_unique<TJSONString>("/"));
    Check(array->ToString() ==
          compact.substr(0, compact.size() - 1) + (empty ? "" : ",") + compact + ",\"\\/\"]");
  } else if (copy->Kind() == TJSONKind::Object) {
    auto object = AsJSONObject(std::move(copy));
    const bool empty = object->Count() == 0;
    object->AddPair("", ParseJSONValue(compact));
    Check(object->ToString() ==
          compact.substr(0, compact.size() - 1) + (empty ? "" : ",") + "\"\":" + compact + "}");
  } else {
    try {
      AsJSONObject(std::move(copy));
      Check(false);
    } catch (const EInvalidCast&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto value = ParseJSONValue(text);
  if (value == nullptr) return 0;

  const std::string compact = value->ToString();
  const auto again = ParseJSONValue(compact);
  Check(again != nullptr);
  Check(JSONEqual(*value, *again));
  Check(again->ToString() == compact);

  const std::string display = TJson::Format(*value);
  Check(display.empty() || display.back() != '\n');
  const auto fromDisplay = ParseJSONValue(display);
  Check(fromDisplay != nullptr);
  Check(JSONEqual(*value, *fromDisplay));

  try {
    auto copy = value->Clone();
    Check(JSONEqual(*value, *copy));
    Check(copy->ToString() == compact);
    AppendTo(std::move(copy), compact);
  } catch (const EConvertError&) {
  }

  ReadMembers(*value);
  return 0;
}
