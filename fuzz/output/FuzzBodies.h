#pragma once

// What the fuzz target of the record writers does with one input; shared
// with the test that replays the kept inputs (tests/output/FuzzInputsTest.cpp).
// It takes bytes a server chose: the records of a reply.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "json/JSON.h"
#include "output/RecordWriter.h"

namespace kestrava::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The cells of every record of CSV text with `separator` between cells,
// counted the way a reader counts them; -1 when rows differ in their number
// of cells.
inline long long CellsPerRow(std::string_view csv, std::size_t& rows, char separator = ',') {
  long long cells = 1, expected = -2;
  bool quoted = false;
  std::size_t rowEnd = 0;  // after the last row's CR LF
  rows = 0;
  for (std::size_t i = 0; i < csv.size(); ++i) {
    const char c = csv[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == separator) {
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

// A JSON text as the records of a reply, in every format but the workbook
// (a zip of its own); the rows of csv and of csv for Excel all have the
// header's number of cells, one row per record, or csv refuses records of
// too many columns and writes nothing.
inline void Records(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(AsText(data, size));
  if (value == nullptr) return;
  for (const OutputFormat format :
       {OutputFormat::Display, OutputFormat::Compact, OutputFormat::Ndjson, OutputFormat::Csv,
        OutputFormat::CsvExcel}) {
    StringSink out;
    const auto writer = MakeRecordWriter(format, out, std::make_unique<StringSpool>());
    const bool written = value->Kind() == TJSONKind::Array
                             ? writer->Add(static_cast<const TJSONArray&>(*value))
                             : writer->Add(*value);
    if (!written && writer->Refused()) {
      if ((format != OutputFormat::Csv && format != OutputFormat::CsvExcel) || !out.text.empty())
        __builtin_trap();
      continue;
    }
    if (!written || !writer->Finish()) __builtin_trap();
    if ((format != OutputFormat::Csv && format != OutputFormat::CsvExcel) || out.text.empty())
      continue;
    std::string_view csv = out.text;
    const bool excel = format == OutputFormat::CsvExcel;
    if (excel && !csv.starts_with("\xEF\xBB\xBF")) __builtin_trap();
    if (excel) csv.remove_prefix(3);
    std::size_t rows = 0;
    if (CellsPerRow(csv, rows, excel ? ';' : ',') < 1) __builtin_trap();
    const std::size_t records =
        value->Kind() == TJSONKind::Array ? static_cast<const TJSONArray&>(*value).Count() : 1;
    if (rows != records + 1) __builtin_trap();
  }
}

}  // namespace kestrava::fuzz
