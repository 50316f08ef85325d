#pragma once

namespace kestrava {

// The forms the records of a result are written in (RecordWriter.h).
enum class OutputFormat { Display, Compact, Ndjson, Csv, CsvExcel, Xlsx };

// Whether a format's rows wait in a spool for the header, known only at the end.
constexpr bool NeedsSpool(OutputFormat format) noexcept {
  return format == OutputFormat::Csv || format == OutputFormat::CsvExcel ||
         format == OutputFormat::Xlsx;
}

}  // namespace kestrava
