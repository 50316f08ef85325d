#pragma once

// A result shown in the window, saved to a file: the display text as it is
// shown, or its records in one of the formats of kestrava-cli, through the
// same writers. The file is replaced as a whole (a new one gets mode 0600):
// whatever goes wrong, or a save broken off, leaves it as it was.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava {

enum class TSaveType { Json, Csv, CsvExcel, Ndjson, Xlsx };

struct TSaveOutcome {
  enum class TKind { Saved, Cancelled, Failed };
  TKind kind = TKind::Saved;
  std::string why;  // for a failure: the system's reason, or what the format cannot hold
};

// Called as the save goes on with the bytes of the shown text dealt with so
// far and all of them; gives whether to go on.
using TSaveProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Saves `shown`, the display text of an array of records, to the file at
// `path` (symbolic links followed). Json writes it byte for byte; the other
// types read its records again, one at a time, and write them as
// kestrava-cli does, `sheet` naming the sheet of a workbook.
TSaveOutcome SaveResult(std::string_view shown, TSaveType type, std::string_view sheet,
                        const std::string& path, const TSaveProgress& goOn);

}  // namespace kestrava
