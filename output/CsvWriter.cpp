#include "output/CsvWriter.h"

#include <algorithm>

#include "base/Ascii.h"
#include "json/JsonFormat.h"

namespace kestrava {
namespace {

// Optional sign, digits, optional fraction: "-12.50" is a number in any
// spreadsheet, never a formula.
bool IsPlainDecimal(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = i;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i;
  if (i == digits) return false;
  if (i < text.size() && text[i] == '.') {
    const std::size_t fraction = ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i;
    if (i == fraction) return false;
  }
  return i == text.size();
}

bool StartsFormula(std::string_view text) {
  if (text.empty()) return false;
  const char c = text.front();
  return (c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r') &&
         !IsPlainDecimal(text);
}

void AppendValueCell(std::string& row, const TJSONValue* value, const CsvDialect& dialect) {
  if (value == nullptr) return;  // a missing member
  switch (value->Kind()) {
    case TJSONKind::String:
      AppendTextCell(row, static_cast<const TJSONString&>(*value).Value(), true, dialect.separator);
      break;
    case TJSONKind::Number: {
      const std::size_t start = row.size();
      row += static_cast<const TJSONNumber&>(*value).Value();  // as written
      if (dialect.decimalComma) std::replace(row.begin() + start, row.end(), '.', ',');
      break;
    }
    case TJSONKind::True:
      row += "true";
      break;
    case TJSONKind::False:
      row += "false";
      break;
    case TJSONKind::Null:
      break;
    case TJSONKind::Object:
    case TJSONKind::Array: {
      std::string compact;
      AppendCompactText(compact, *value);
      AppendTextCell(row, compact, false, dialect.separator);
      break;
    }
  }
}

// A row of one cell that is empty would be an empty line: it is written as
// a quoted empty cell instead.
void EndRow(std::string& row, std::size_t rowStart, std::size_t cells) {
  if (cells == 1 && row.size() == rowStart) row += "\"\"";
  row += "\r\n";
}

}  // namespace

void AppendTextCell(std::string& row, std::string_view text, bool formulaGuard, char separator) {
  const bool guard = formulaGuard && StartsFormula(text);
  const char special[] = {separator, '"', '\r', '\n'};
  const bool quote = text.find_first_of(std::string_view(special, 4)) != std::string_view::npos ||
                     (!text.empty() && text.front() == ' ') ||
                     (!text.empty() && text.back() == ' ');
  if (quote) row += '"';
  if (guard) row += '\'';
  if (!quote) {
    row += text;
    return;
  }
  for (const char c : text) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

CsvWriter::CsvWriter(ByteSink& out, std::unique_ptr<Spool> spool, CsvDialect dialect)
    : RecordWriter(*spool), out_(out), spool_(std::move(spool)), dialect_(dialect) {}

std::optional<std::size_t> CsvWriter::Column(std::string_view name) {
  const auto found = index_.find(name);
  if (found != index_.end()) return found->second;
  if (columns_.size() == kMaxColumns) {
    refused_ = true;
    return std::nullopt;
  }
  index_.emplace(std::string(name), columns_.size());
  columns_.emplace_back(name);
  return columns_.size() - 1;
}

bool CsvWriter::Add(const TJSONValue& record) {
  if (refused_) return false;
  if (record.Kind() == TJSONKind::Object) {
    // Records mostly repeat the names of the one before in the same order:
    // the column of its pair at the same place is tried first.
    const auto& object = static_cast<const TJSONObject&>(record);
    const std::size_t count = object.Count();
    pairColumns_.resize(count, columns_.size());
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view name = object.PairName(i);
      std::size_t& column = pairColumns_[i];
      if (column < columns_.size() && columns_[column] == name) continue;
      const std::optional<std::size_t> found = Column(name);
      if (!found) return false;
      column = *found;
    }
    cells_.assign(columns_.size(), nullptr);
    for (std::size_t i = 0; i < count; ++i) {
      const TJSONValue*& cell = cells_[pairColumns_[i]];
      if (cell == nullptr) cell = object.PairValue(i);  // the first of a name counts
    }
  } else {
    const std::optional<std::size_t> column = Column("value");
    if (!column) return false;
    cells_.assign(columns_.size(), nullptr);
    cells_[*column] = &record;
  }
  if (runs_.empty() || runs_.back().columns != columns_.size())
    runs_.push_back({0, columns_.size()});
  ++runs_.back().rows;

  const std::size_t rowStart = text_.size();
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    if (i > 0) text_ += dialect_.separator;
    AppendValueCell(text_, cells_[i], dialect_);
  }
  EndRow(text_, rowStart, cells_.size());
  return Flush();
}

bool CsvWriter::Finish() {
  if (refused_) return false;
  // No records, or only empty objects: no column to show, nothing at all.
  if (columns_.empty()) return true;
  if (!Flush(true)) return false;
  std::string header = dialect_.byteOrderMark ? "\xEF\xBB\xBF" : "";
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i > 0) header += dialect_.separator;
    AppendTextCell(header, columns_[i], true, dialect_.separator);
  }
  EndRow(header, dialect_.byteOrderMark ? 3 : 0, columns_.size());
  return out_.Write(header) && CopyRows();
}

int CsvWriter::Error() const noexcept {
  return out_.Error() != 0 ? out_.Error() : spool_->Error();
}

bool CsvWriter::CopyRows() {
  if (runs_.size() == 1) {
    // Every row has every column.
    return spool_->ReadBack([this](std::string_view piece) { return out_.Write(piece); });
  }
  // A row ends at the CR that no quoted cell holds: the first one outside
  // quotation marks (a CR in a cell always makes it quoted).
  std::size_t run = 0;
  std::uint64_t rowsLeft = runs_[0].rows;
  bool quoted = false;
  std::string filled;
  const std::size_t columns = columns_.size();
  const bool copied = spool_->ReadBack([&](std::string_view piece) {
    filled.clear();
    for (const char c : piece) {
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\r' && !quoted) {
        // A row written before any column has no cell at all yet.
        const std::size_t cells = runs_[run].columns;
        if (cells == 0 && columns == 1) {
          filled += "\"\"";
        } else {
          filled.append(columns - std::max<std::size_t>(cells, 1), dialect_.separator);
        }
        if (--rowsLeft == 0 && run + 1 < runs_.size()) rowsLeft = runs_[++run].rows;
      }
      filled += c;
    }
    return out_.Write(filled);
  });
  return copied;
}

}  // namespace kestrava
