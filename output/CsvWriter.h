#pragma once

// The csv output format: RFC 4180, UTF-8 without a byte order mark, CR LF
// line ends. A header row, then one row per record. The columns are the
// member names of the records' top-level objects in order of first
// appearance (of a name twice in one object the first counts, as lookups
// do); a record that is not an object goes into the column "value".
//
// Rows are written as the records come, each with the columns known by
// then, into a spool; at the end the header goes out and the rows follow,
// those written before a later column appeared filled up with empty cells.
//
// The Excel dialect is the same table for a spreadsheet in a locale whose
// decimal separator is a comma (ro_RO, de_DE, fr_FR): a UTF-8 byte order
// mark first, ";" between cells and a decimal comma in JSON numbers.
//
// Records whose names differ make a column each, and every row holds every
// column: n such records would give n^2 cells (20,000 records of 289 KB of
// JSON, 400 MB of commas). More than kMaxColumns columns are refused.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "output/RecordWriter.h"

namespace kestrava {

struct CsvDialect {
  char separator = ',';
  bool decimalComma = false;
  bool byteOrderMark = false;
};

inline constexpr CsvDialect kExcelCsv{
    .separator = ';', .decimalComma = true, .byteOrderMark = true};

class CsvWriter final : public RecordWriter {
 public:
  static constexpr std::size_t kMaxColumns = 1000;

  CsvWriter(ByteSink& out, std::unique_ptr<Spool> spool, CsvDialect dialect = {});
  using RecordWriter::Add;
  // False, and Refused(), for a record that would make column 1001.
  bool Add(const TJSONValue& record) override;
  bool Finish() override;
  int Error() const noexcept override;
  bool Refused() const noexcept override { return refused_; }

 private:
  // The column of a name, made when it is new; none past kMaxColumns.
  std::optional<std::size_t> Column(std::string_view name);
  bool CopyRows();

  ByteSink& out_;
  std::unique_ptr<Spool> spool_;
  CsvDialect dialect_;
  // Looked up by a name of the reply without making a string of it.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const noexcept {
      return std::hash<std::string_view>()(name);
    }
  };
  std::vector<std::string> columns_;
  std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> index_;
  std::vector<std::size_t> pairColumns_;  // of the last record's pairs, in order
  // Runs of rows written with the same number of columns, in order.
  struct Run {
    std::uint64_t rows;
    std::size_t columns;
  };
  std::vector<Run> runs_;
  std::vector<const TJSONValue*> cells_;  // of the row being written
  bool refused_ = false;
};

// A cell of text: with a leading apostrophe when it could start a
// spreadsheet formula (unless it is a plain decimal number), quoted when it
// holds the separator, a quotation mark, CR or LF, or begins or ends with a
// space.
void AppendTextCell(std::string& row, std::string_view text, bool formulaGuard,
                    char separator = ',');

}  // namespace kestrava
