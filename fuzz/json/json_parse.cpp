// libFuzzer target of the JSON parser; the test that replays the kept
// inputs (tests/json/FuzzInputsTest.cpp) links this file as it is.
//
// Any text either parses to none or to a value whose compact text and
// display text both parse back to an equal tree, and are the same bytes when
// handed out in bounded pieces; Clone gives an equal tree or
// the range failure; typed reads give a text or one of their failures. The
// same bytes go through the byte helpers of base/, which the parser is
// built on: the UTF-8 verdicts and code points, letter case and hex digits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/Ascii.h"
#include "base/Utf8.h"
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

// The code point of a well-formed sequence of the given length.
char32_t DecodeSequence(std::string_view sequence) {
  const auto byte = [&sequence](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
  if (sequence.size() == 1) return byte(0);
  char32_t value = byte(0) & (0x7F >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i) value = (value << 6) | (byte(i) & 0x3F);
  return value;
}

// The UTF-8 helpers agree with each other: walking the text sequence by
// sequence gives the verdict of the fast check, and every sequence found
// is the shortest form of its code point.
bool CheckUtf8(std::string_view text) {
  bool valid = true;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      valid = false;
      ++at;
      continue;
    }
    Check(length <= 4 && at + length <= text.size());
    const std::string_view sequence = text.substr(at, length);
    const char32_t codePoint = DecodeSequence(sequence);
    Check(codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF));
    std::string again;
    AppendUtf8(again, codePoint);
    Check(again == sequence);
    at += length;
  }
  Check(IsValidUtf8(text) == valid);
  return valid;
}

void CheckAscii(std::string_view text) {
  const std::string lower = AsciiLower(text);
  Check(lower.size() == text.size());
  Check(EqualsIgnoreCase(lower, text) && AsciiLower(lower) == lower);
  Check(StartsWithIgnoreCase(text, lower.substr(0, lower.size() / 2)));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // Only A to Z change, and only to a to z.
    Check(byte < 0x80 ? lower[i] == AsciiToLower(text[i]) : lower[i] == text[i]);
    const int value = HexDigitValue(text[i]);
    Check(IsHexDigit(text[i]) == (value >= 0) && value < 16);
    if (value >= 0) {
      std::string digits;
      AppendHexByte(digits, static_cast<unsigned char>(value), HexCase::Lower);
      Check(digits[1] == AsciiToLower(text[i]));
    }
  }
}

// The text handed out in pieces: joined, it is `whole`; no piece is longer
// than the bound.
template <class Write>
void CheckPieces(Write write, const std::string& whole) {
  std::string joined;
  Check(write([&joined](std::string_view piece) {
    Check(piece.size() <= kTextPieceSize);
    joined.append(piece);
    return true;
  }));
  Check(joined == whole);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool wellFormed = CheckUtf8(text);
  CheckAscii(text);

  const auto value = ParseJSONValue(text);
  if (value == nullptr) return 0;
  // Malformed UTF-8 anywhere in the text makes it no JSON text.
  Check(wellFormed);

  const std::string compact = value->ToString();
  Check(IsValidUtf8(compact));
  const auto again = ParseJSONValue(compact);
  Check(again != nullptr);
  Check(JSONEqual(*value, *again));
  Check(again->ToString() == compact);

  const std::string display = TJson::Format(*value);
  Check(display.empty() || display.back() != '\n');
  const auto fromDisplay = ParseJSONValue(display);
  Check(fromDisplay != nullptr);
  Check(JSONEqual(*value, *fromDisplay));

  CheckPieces([&](const TextPieces& pieces) { return WriteCompactText(*value, pieces); }, compact);
  CheckPieces([&](const TextPieces& pieces) { return WriteDisplayText(*value, pieces); }, display);

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
