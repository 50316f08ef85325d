#include "output/XlsxSheet.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <cerrno>
#include <map>
#include <optional>

#include "output/XlsxCells.h"

namespace kestrava {
namespace {

// Where the workbook is made, as the library makes its own working files
// (tmpfile).
constexpr char kScratchFolder[] = "/tmp";

void AppendCount(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

// Reads a count written by AppendCount at `at`; false when the bytes end
// before it does.
bool ReadCount(std::string_view bytes, std::size_t& at, std::uint64_t& value) {
  value = 0;
  for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  return false;
}

struct Cell {
  XlsxCellKind kind;
  lxw_col_t column;
  std::string_view bytes;
};

// The cells of the record at `at`, moving `at` past it; false, with `at`
// where it was, when the bytes end within the record.
bool ReadRecord(std::string_view bytes, std::size_t& at, std::vector<Cell>& cells) {
  cells.clear();
  std::size_t next = at;
  while (next < bytes.size()) {
    const auto kind = static_cast<XlsxCellKind>(bytes[next++]);
    if (kind == kXlsxEndOfRecord) {
      at = next;
      return true;
    }
    std::uint64_t column = 0, size = 0;
    if (!ReadCount(bytes, next, column)) return false;
    if (kind != kXlsxTrue && kind != kXlsxFalse) {
      if (!ReadCount(bytes, next, size) || bytes.size() - next < size) return false;
    }
    cells.push_back({kind, static_cast<lxw_col_t>(column), bytes.substr(next, size)});
    next += size;
  }
  return false;
}

struct WorkbookFree {
  void operator()(lxw_workbook* workbook) const noexcept { lxw_workbook_free(workbook); }
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

}  // namespace

void AppendXlsxCell(std::string& out, XlsxCellKind kind, std::size_t column,
                    std::string_view bytes) {
  out += static_cast<char>(kind);
  AppendCount(out, column);
  if (kind == kXlsxTrue || kind == kXlsxFalse) return;
  AppendCount(out, bytes.size());
  out += bytes;
}

struct XlsxSheet::Parts {
  ~Parts() {
    if (fd >= 0) close(fd);
  }
  lxw_format* Format(const std::string& code) {
    lxw_format*& format = byCode[code];
    if (format == nullptr) {
      format = workbook_add_format(workbook.get());
      format_set_num_format(format, code.c_str());
    }
    return format;
  }
  lxw_format* Number(int decimals) {
    const auto index = static_cast<std::size_t>(decimals);
    if (index >= byDecimals.size()) byDecimals.resize(index + 1);
    if (byDecimals[index] == nullptr)
      byDecimals[index] = Format(decimals == 0 ? "0" : "0." + std::string(index, '0'));
    return byDecimals[index];
  }
  lxw_error Write(const Cell& cell) {
    switch (cell.kind) {
      case kXlsxTrue:
      case kXlsxFalse:
        return worksheet_write_boolean(sheet, row, cell.column, cell.kind == kXlsxTrue, nullptr);
      case kXlsxNumber:
        if (const std::optional<XlsxNumber> number = ReadXlsxNumber(cell.bytes))
          return worksheet_write_number(sheet, row, cell.column, number->value,
                                        Number(number->decimals));
        break;
      case kXlsxDate:
      case kXlsxDateTime:
        if (const std::optional<XlsxDate> date = ReadXlsxDate(cell.bytes)) {
          lxw_datetime time{date->year, date->month,  date->day,
                            date->hour, date->minute, date->second + date->millisecond / 1000.0};
          lxw_format*& format = byDateFormat[date->format.data()];
          if (format == nullptr) format = Format(std::string(date->format));
          return worksheet_write_datetime(sheet, row, cell.column, &time, format);
        }
        break;
      case kXlsxText:
      case kXlsxEndOfRecord:
        break;
    }
    text.assign(cell.bytes);
    return worksheet_write_string(sheet, row, cell.column, text.c_str(), nullptr);
  }

  int fd = -1;
  std::unique_ptr<lxw_workbook, WorkbookFree> workbook;
  lxw_worksheet* sheet = nullptr;
  lxw_row_t row = 1;  // the next, under the header
  lxw_col_t columns = 0;
  std::map<std::string, lxw_format*> byCode;
  std::vector<lxw_format*> byDecimals;
  std::map<const char*, lxw_format*> byDateFormat;  // ReadXlsxDate's formats are constants
  std::vector<Cell> cells;
  std::string text;
};

XlsxSheet::XlsxSheet() : parts_(std::make_unique<Parts>()) {}

XlsxSheet::~XlsxSheet() = default;

bool XlsxSheet::Fail(std::string text, int error) {
  if (errorText_.empty()) {
    errorText_ = std::move(text);
    error_ = error;
  }
  return false;
}

bool XlsxSheet::Open(const std::string& sheet, const std::vector<std::string>& header) {
  Parts& parts = *parts_;
  parts.fd = ScratchFile(kScratchFolder);
  if (parts.fd < 0) return Fail("the workbook's file cannot be made", errno);
  // The library opens the workbook by name: the nameless file's own.
  const std::string path = "/proc/self/fd/" + std::to_string(parts.fd);
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  parts.workbook.reset(workbook_new_opt(path.c_str(), &options));
  if (parts.workbook) parts.sheet = workbook_add_worksheet(parts.workbook.get(), sheet.c_str());
  if (parts.sheet == nullptr) return Fail("the workbook cannot be made");
  lxw_format* bold = workbook_add_format(parts.workbook.get());
  format_set_bold(bold);
  parts.columns = static_cast<lxw_col_t>(header.size());
  for (lxw_col_t column = 0; column < parts.columns; ++column) {
    const lxw_error failed = worksheet_write_string(parts.sheet, 0, column,
                                                    EscapeXlsxText(header[column]).c_str(), bold);
    if (failed != LXW_NO_ERROR) return Fail(lxw_strerror(failed));
  }
  return true;
}

bool XlsxSheet::Write(std::string_view piece) {
  Parts& parts = *parts_;
  if (!errorText_.empty() || parts.sheet == nullptr) return false;
  std::string_view bytes = piece;
  if (!pending_.empty()) {
    pending_.append(piece);
    bytes = pending_;
  }
  std::size_t at = 0;
  while (ReadRecord(bytes, at, parts.cells)) {
    for (const Cell& cell : parts.cells) {
      if (const lxw_error failed = parts.Write(cell); failed != LXW_NO_ERROR)
        return Fail(lxw_strerror(failed));
    }
    ++parts.row;
  }
  pending_ = std::string(bytes.substr(at));
  return true;
}

bool XlsxSheet::Close(const std::vector<double>& widths, std::uint32_t rows) {
  Parts& parts = *parts_;
  if (!errorText_.empty() || parts.sheet == nullptr) return false;
  for (lxw_col_t column = 0; column < parts.columns && column < widths.size(); ++column)
    worksheet_set_column(parts.sheet, column, column, widths[column], nullptr);
  if (parts.columns > 0) {
    worksheet_freeze_panes(parts.sheet, 1, 0);
    worksheet_autofilter(parts.sheet, 0, 0, rows, parts.columns - 1);
  }
  errno = 0;
  const lxw_error closed = workbook_close(parts.workbook.release());
  if (closed != LXW_NO_ERROR) return Fail(lxw_strerror(closed), errno);
  return true;
}

bool XlsxSheet::CopyTo(ByteSink& out) {
  if (lseek(parts_->fd, 0, SEEK_SET) != 0) return Fail("the workbook cannot be read", errno);
  if (const int failed = ReadPieces(parts_->fd, 1 << 20,
                                    [&out](std::string_view piece) { return out.Write(piece); });
      failed != 0) {
    return Fail("the workbook cannot be read", failed);
  }
  return out.Error() == 0;
}

}  // namespace kestrava
