#include "output/XlsxWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "base/Ascii.h"
#include "base/Utf8.h"
#include "json/JsonFormat.h"
#include "output/XlsxCells.h"

namespace kestrava {
namespace {

// Where the workbook is made before its bytes go to the sink, as the
// library makes its own working files (tmpfile).
constexpr char kScratchFolder[] = "/tmp";

// The kinds of cell in the spool. A record is its cells, each as its kind,
// its column and its bytes, then kEndOfRecord.
enum CellKind : unsigned char {
  kEndOfRecord = 0,
  kText,
  kNumber,
  kTrue,
  kFalse,
  kDate,
  kDateTime,
};

void AppendCount(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

// Reads a count written by AppendCount from `bytes` at `at`; false when the
// bytes end before it does.
bool ReadCount(std::string_view bytes, std::size_t& at, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

std::size_t Characters(std::string_view text) {
  // UTF-8: every byte but the continuation bytes starts a character.
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A column fits its widest cell and the header's filter button, up to a
// limit beyond which a long text wraps out of sight.
constexpr std::size_t kMaxColumnWidth = 60;
constexpr std::size_t kFilterButtonWidth = 3;

double ColumnWidth(std::size_t header, std::size_t widest) {
  return static_cast<double>(
      std::min(kMaxColumnWidth, std::max(header + kFilterButtonWidth, widest + 1)));
}

struct WorkbookCloser {
  void operator()(lxw_workbook* workbook) const noexcept { lxw_workbook_free(workbook); }
};

// The cell formats of one workbook, made as they are first needed.
class Formats {
 public:
  explicit Formats(lxw_workbook* workbook) : workbook_(workbook) {}
  lxw_format* Header() {
    if (header_ == nullptr) {
      header_ = workbook_add_format(workbook_);
      format_set_bold(header_);
    }
    return header_;
  }
  lxw_format* Number(int decimals) {
    const auto index = static_cast<std::size_t>(decimals);
    if (index >= byDecimals_.size()) byDecimals_.resize(index + 1);
    if (byDecimals_[index] == nullptr)
      byDecimals_[index] = Of(decimals == 0 ? "0" : "0." + std::string(index, '0'));
    return byDecimals_[index];
  }
  lxw_format* Of(const std::string& code) {
    lxw_format*& format = byCode_[code];
    if (format == nullptr) {
      format = workbook_add_format(workbook_);
      format_set_num_format(format, code.c_str());
    }
    return format;
  }

 private:
  lxw_workbook* workbook_;
  lxw_format* header_ = nullptr;
  std::map<std::string, lxw_format*> byCode_;
  std::vector<lxw_format*> byDecimals_;
};

// A nameless file in `folder`, or a named one removed at once where the
// file system has none; -1 with errno set when none can be made.
int ScratchFile(const std::string& folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = folder + "/.kestrava-xlsx.XXXXXX";
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
  }
  return fd;
}

struct Cell {
  CellKind kind;
  lxw_col_t column;
  std::string_view bytes;
};

// The cells of the record at `at` in `bytes`, moving `at` past it; false,
// with `at` where it was, when the bytes end within the record.
bool ReadRecord(std::string_view bytes, std::size_t& at, std::vector<Cell>& cells) {
  cells.clear();
  std::size_t next = at;
  while (next < bytes.size()) {
    const auto kind = static_cast<CellKind>(bytes[next++]);
    if (kind == kEndOfRecord) {
      at = next;
      return true;
    }
    std::uint64_t column = 0, size = 0;
    if (!ReadCount(bytes, next, column)) return false;
    if (kind != kTrue && kind != kFalse) {
      if (!ReadCount(bytes, next, size) || bytes.size() - next < size) return false;
    }
    cells.push_back({kind, static_cast<lxw_col_t>(column), bytes.substr(next, size)});
    next += size;
  }
  return false;
}

lxw_error WriteCell(lxw_worksheet* sheet, lxw_row_t row, const Cell& cell, Formats& formats) {
  switch (cell.kind) {
    case kTrue:
    case kFalse:
      return worksheet_write_boolean(sheet, row, cell.column, cell.kind == kTrue, nullptr);
    case kNumber:
      if (const std::optional<XlsxNumber> number = ReadXlsxNumber(cell.bytes))
        return worksheet_write_number(sheet, row, cell.column, number->value,
                                      formats.Number(number->decimals));
      break;
    case kDate:
    case kDateTime:
      if (const std::optional<XlsxDate> date = ReadXlsxDate(cell.bytes)) {
        lxw_datetime time{date->year, date->month,  date->day,
                          date->hour, date->minute, date->second + date->millisecond / 1000.0};
        return worksheet_write_datetime(sheet, row, cell.column, &time,
                                        formats.Of(std::string(date->format)));
      }
      break;
    case kText:
    case kEndOfRecord:
      break;
  }
  return worksheet_write_string(sheet, row, cell.column, std::string(cell.bytes).c_str(), nullptr);
}

}  // namespace

XlsxWriter::XlsxWriter(ByteSink& out, std::unique_ptr<Spool> cells, std::string sheet)
    : RecordWriter(*cells), out_(out), cells_(std::move(cells)), sheet_(std::move(sheet)) {}

std::size_t XlsxWriter::Column(std::string_view name) {
  const auto found = index_.find(name);
  if (found != index_.end()) return found->second;
  index_.emplace(std::string(name), columns_.size());
  columns_.emplace_back(name);
  widths_.push_back(0);
  lastRecord_.push_back(0);
  return columns_.size() - 1;
}

bool XlsxWriter::Refuse(std::string reason) {
  if (refusal_.empty()) refusal_ = std::move(reason);
  return false;
}

bool XlsxWriter::AddCell(std::size_t column, const TJSONValue& value) {
  // Of a name twice in one object the first counts, as in csv.
  if (lastRecord_[column] == records_) return true;
  lastRecord_[column] = records_;
  CellKind kind = kText;
  std::string_view bytes;
  std::string text;
  std::size_t width = 0;
  switch (value.Kind()) {
    case TJSONKind::Null:
      return true;
    case TJSONKind::True:
    case TJSONKind::False:
      kind = value.Kind() == TJSONKind::True ? kTrue : kFalse;
      width = kind == kTrue ? 4 : 5;
      break;
    case TJSONKind::Number: {
      bytes = static_cast<const TJSONNumber&>(value).Value();
      if (const std::optional<XlsxNumber> number = ReadXlsxNumber(bytes)) {
        kind = kNumber;
        width = number->width;
      } else {
        width = Characters(bytes);
      }
      break;
    }
    case TJSONKind::String: {
      bytes = static_cast<const TJSONString&>(value).Value();
      if (const std::optional<XlsxDate> date = ReadXlsxDate(bytes)) {
        kind = date->hasTime ? kDateTime : kDate;
        width = date->format.size();
      } else {
        width = Characters(bytes);
      }
      break;
    }
    case TJSONKind::Object:
    case TJSONKind::Array:
      AppendCompactText(text, value);
      bytes = text;
      width = Characters(bytes);
      break;
  }
  std::string escaped;
  if (kind == kText) {
    escaped = EscapeXlsxText(bytes);
    if (const std::size_t characters = Characters(escaped); characters > kMaxCellCharacters) {
      return Refuse("a text of " + std::to_string(characters) + " characters in column \"" +
                    columns_[column] + "\": a spreadsheet cell holds at most " +
                    std::to_string(kMaxCellCharacters));
    }
    bytes = escaped;
  }
  widths_[column] = std::max(widths_[column], width);
  text_ += static_cast<char>(kind);
  AppendCount(text_, column);
  if (kind != kTrue && kind != kFalse) {
    AppendCount(text_, bytes.size());
    text_ += bytes;
  }
  return true;
}

bool XlsxWriter::Add(const TJSONValue& record) {
  if (!refusal_.empty()) return false;
  if (records_ == kMaxRecords)
    return Refuse("more than " + std::to_string(kMaxRecords) + " records: a sheet holds at most " +
                  std::to_string(kMaxRecords) + " rows under its header");
  ++records_;
  if (record.Kind() == TJSONKind::Object) {
    const auto& object = static_cast<const TJSONObject&>(record);
    const std::size_t count = object.Count();
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t column = Column(object.PairName(i));
      if (columns_.size() > kMaxColumns)
        return Refuse("more than " + std::to_string(kMaxColumns) +
                      " columns: a sheet holds at most " + std::to_string(kMaxColumns));
      if (!AddCell(column, *object.PairValue(i))) return false;
    }
  } else if (!AddCell(Column("value"), record)) {
    return false;
  }
  text_ += static_cast<char>(kEndOfRecord);
  return Flush();
}

bool XlsxWriter::Finish() {
  if (!refusal_.empty() || !Flush(true)) return false;
  const int fd = ScratchFile(kScratchFolder);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  bool written = WriteWorkbook(fd);
  if (written && lseek(fd, 0, SEEK_SET) != 0) {
    error_ = errno;
    written = false;
  }
  if (written) {
    error_ = ReadPieces(fd, 1 << 20, [this](std::string_view piece) { return out_.Write(piece); });
    written = error_ == 0 && out_.Error() == 0;
  }
  close(fd);
  return written;
}

bool XlsxWriter::WriteWorkbook(int fd) {
  // The library opens the workbook by name: the nameless file's own.
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  std::unique_ptr<lxw_workbook, WorkbookCloser> workbook(workbook_new_opt(path.c_str(), &options));
  lxw_worksheet* sheet =
      workbook ? workbook_add_worksheet(workbook.get(), sheet_.c_str()) : nullptr;
  if (sheet == nullptr) {
    workbookError_ = "the workbook cannot be made";
    return false;
  }
  Formats formats(workbook.get());
  const auto last = static_cast<lxw_col_t>(columns_.size());
  for (lxw_col_t column = 0; column < last; ++column) {
    worksheet_set_column(sheet, column, column,
                         ColumnWidth(Characters(columns_[column]), widths_[column]), nullptr);
    const lxw_error failed = worksheet_write_string(
        sheet, 0, column, EscapeXlsxText(columns_[column]).c_str(), formats.Header());
    if (failed != LXW_NO_ERROR) {
      workbookError_ = lxw_strerror(failed);
      return false;
    }
  }
  if (!columns_.empty()) {
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, records_, last - 1);
  }

  lxw_row_t row = 1;
  std::string pending;
  std::vector<Cell> cells;
  lxw_error failed = LXW_NO_ERROR;
  // Writes the whole records in `pending`, keeping a record cut by the end
  // of the piece for the next one.
  const auto writeRecords = [&](std::string_view piece) {
    pending.append(piece);
    const std::string_view bytes = pending;
    std::size_t at = 0;
    while (failed == LXW_NO_ERROR && ReadRecord(bytes, at, cells)) {
      for (const Cell& cell : cells) {
        failed = WriteCell(sheet, row, cell, formats);
        if (failed != LXW_NO_ERROR) break;
      }
      ++row;
    }
    pending.erase(0, at);
    return failed == LXW_NO_ERROR;
  };
  if (!cells_->ReadBack(writeRecords)) {
    if (failed != LXW_NO_ERROR) workbookError_ = lxw_strerror(failed);
    return false;
  }
  errno = 0;
  const lxw_error closed = workbook_close(workbook.release());
  if (closed != LXW_NO_ERROR) {
    error_ = errno;
    workbookError_ = lxw_strerror(closed);
    return false;
  }
  return true;
}

int XlsxWriter::Error() const noexcept {
  if (out_.Error() != 0) return out_.Error();
  if (cells_->Error() != 0) return cells_->Error();
  if (error_ != 0) return error_;
  return refusal_.empty() && workbookError_.empty() ? 0 : EINVAL;
}

std::string XlsxWriter::ErrorText() const {
  if (!refusal_.empty()) return refusal_;
  if (!workbookError_.empty() && error_ != 0)
    return workbookError_ + ": " + ErrorDescription(error_);
  if (!workbookError_.empty()) return workbookError_;
  return RecordWriter::ErrorText();
}

}  // namespace kestrava
