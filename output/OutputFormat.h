#pragma once

namespace kestrava {

// The forms the records of a result are written in (RecordWriter.h).
enum class OutputFormat { Display, Compact, Ndjson, Csv };

}  // namespace kestrava
