#pragma once

// What each fuzz target of kestrava-cli does with one input; shared with the
// test that replays the kept inputs (tests/cli/FuzzInputsTest.cpp).
// Both take bytes a server chose: error texts and Retry-After values, and
// the records of a reply.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "cli/CliArguments.h"
#include "cli/HttpDate.h"
#include "cli/RecordWriter.h"
#include "cli/RetryPolicy.h"
#include "cli/TerminalText.h"
#include "json/JSON.h"

namespace kestrava::cli::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A text shown on a terminal holds no control character but tab, LF and the
// CR of a CR LF, and no C1 control; a retry reason is one line; a
// Retry-After wait is within ten minutes.
inline void ServerText(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::string shown = ForTerminal(text);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto c = static_cast<unsigned char>(shown[i]);
    if (c == '\r' && (i + 1 == shown.size() || shown[i + 1] != '\n')) __builtin_trap();
    if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) __builtin_trap();
    if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0)
      __builtin_trap();
  }
  const std::string reason = RetryReason(text);
  if (reason.size() > text.size() || reason.find_first_of("\r\n") != std::string::npos)
    __builtin_trap();
  const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'750'000'000));
  if (const auto wait = RetryAfterWait(text, now);
      wait && (wait->count() < 0 || wait->count() > 600))
    __builtin_trap();
  (void)ParseHttpDate(text);
}

// The cells of every record of CSV text, counted the way a reader counts
// them; -1 when rows differ in their number of cells.
inline long long CellsPerRow(std::string_view csv, std::size_t& rows) {
  long long cells = 1, expected = -2;
  bool quoted = false;
  std::size_t rowEnd = 0;  // after the last row's CR LF
  rows = 0;
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      ++cells;
    } else if (!quoted && c == '\r') {
      if (i + 1 >= csv.size() || csv[i + 1] != '\n') return -1;
      if (expected != -2 && expected != cells) return -1;
      expected = cells;
      cells = 1;
      ++rows;
      rowEnd = ++i + 1;
    }
  }
  if (quoted || rowEnd != csv.size()) return -1;  // the text ends with a row end
  return expected;
}

// A JSON text as the records of a reply, in every format; the csv rows all
// have the header's number of cells, one row per record.
inline void Records(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(AsText(data, size));
  if (value == nullptr) return;
  for (const OutputFormat format :
       {OutputFormat::Display, OutputFormat::Compact, OutputFormat::Ndjson, OutputFormat::Csv}) {
    StringSink out;
    const auto writer = MakeRecordWriter(format, out, std::make_unique<StringSpool>());
    const bool written = value->Kind() == TJSONKind::Array
                             ? writer->Add(static_cast<const TJSONArray&>(*value))
                             : writer->Add(*value);
    if (!written || !writer->Finish()) __builtin_trap();
    if (format != OutputFormat::Csv || out.text.empty()) continue;
    std::size_t rows = 0;
    if (CellsPerRow(out.text, rows) < 1) __builtin_trap();
    const std::size_t records =
        value->Kind() == TJSONKind::Array ? static_cast<const TJSONArray&>(*value).Count() : 1;
    if (rows != records + 1) __builtin_trap();
  }
}

}  // namespace kestrava::cli::fuzz
