#include "output/XlsxSheet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>

#include "output/XlsxCells.h"
#include "output/XlsxParts.h"
#include "output/ZipArchive.h"

namespace kestrava {
namespace {

// Where the sheet's compressed rows wait for the end of the export.
constexpr char kScratchFolder[] = "/tmp";
// The rows are compressed in pieces of this size, and written out to the
// scratch file in pieces of about that size: speed over the last percent of
// size, as a spreadsheet file is read once and not kept long.
constexpr int kCompressionLevel = 1;
constexpr std::size_t kXmlPieceSize = 1 << 16;
constexpr std::size_t kFilePieceSize = 1 << 18;
// The sheet's XML before and after its rows is far less than this.
constexpr std::uint64_t kFrameAllowance = 1 << 20;
constexpr char kTooLarge[] =
    "the sheet passes 4 GiB, more than a workbook written without Zip64 holds";

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
  std::size_t column;
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
    cells.push_back({kind, static_cast<std::size_t>(column), bytes.substr(next, size)});
    next += size;
  }
  return false;
}

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

// Writes all of `bytes`; 0 or the errno of the failure.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

void AppendInteger(std::string& out, long long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// A double as the shortest text that reads back as the same double; a
// whole number without an exponent, as a reader then takes it for one.
void AppendDouble(std::string& out, double value) {
  if (std::trunc(value) == value && std::fabs(value) < 1e15) {
    AppendInteger(out, static_cast<long long>(value));
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// Days from 1970-01-01 to a day of the proleptic Gregorian calendar.
long DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// A date as a spreadsheet's serial number: days from 1899-12-30, one fewer
// before 1900-03-01 as spreadsheets count a 29 February 1900 that never was.
double SerialDate(const XlsxDate& date) {
  constexpr long kDaysFrom1899To1970 = 25569;
  constexpr long kFirstTrueSerial = 61;  // 1900-03-01
  long days = DaysFromCivil(date.year, date.month, date.day) + kDaysFrom1899To1970;
  if (days < kFirstTrueSerial) --days;
  const double seconds =
      date.hour * 3600.0 + date.minute * 60.0 + date.second + date.millisecond / 1000.0;
  return static_cast<double>(days) + seconds / 86400.0;
}

// Which bytes of a text need more than a copy in a cell: the characters
// XML reserves, the control characters XML cannot hold (a workbook writes
// them as _xHHHH_; a carriage return too, which XML would read as a line
// feed), and the first byte of U+FFFE and U+FFFF.
struct TextBytes {
  bool special[256] = {};
  constexpr TextBytes() {
    for (int c = 0; c < 0x20; ++c) special[c] = c != '\t' && c != '\n';
    special[static_cast<unsigned char>('&')] = special[static_cast<unsigned char>('<')] =
        special[static_cast<unsigned char>('>')] = true;
    special[0xEF] = true;
  }
};
constexpr TextBytes kTextBytes;

void AppendEscapeOf(std::string& out, unsigned code) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(code >> shift) & 0xF];
  out += '_';
}

void AppendCellText(std::string& out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (!kTextBytes.special[byte]) continue;
    if (byte == 0xEF) {
      if (text.size() - i < 3 || text[i + 1] != '\xBF' ||
          (text[i + 2] != '\xBE' && text[i + 2] != '\xBF')) {
        continue;
      }
      out.append(text.data() + run, i - run);
      AppendEscapeOf(out, text[i + 2] == '\xBE' ? 0xFFFE : 0xFFFF);
      i += 2;
      run = i + 1;
      continue;
    }
    out.append(text.data() + run, i - run);
    run = i + 1;
    switch (byte) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        AppendEscapeOf(out, byte);
    }
  }
  out.append(text.data() + run, text.size() - run);
}

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n';
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
  const std::string& ColumnName(std::size_t column) {
    while (names.size() <= column) names.push_back(XlsxColumnName(names.size()));
    return names[column];
  }
  void StartCell(std::size_t column, int style, const char* type) {
    xml += "<c r=\"";
    xml += ColumnName(column);
    xml += rowText;
    if (style != 0) {
      xml += "\" s=\"";
      AppendInteger(xml, style);
    }
    if (type != nullptr) {
      xml += "\" t=\"";
      xml += type;
    }
    xml += "\">";
  }
  void Text(std::size_t column, std::string_view text, int style = 0) {
    if (text.empty()) {
      if (style == 0) return;  // a cell without a value or a look
      StartCell(column, style, nullptr);
      xml.replace(xml.size() - 1, 1, "/>");
      return;
    }
    StartCell(column, style, "inlineStr");
    xml += IsXmlSpace(text.front()) || IsXmlSpace(text.back()) ? "<is><t xml:space=\"preserve\">"
                                                               : "<is><t>";
    AppendCellText(xml, text);
    xml += "</t></is></c>";
  }
  void Value(std::size_t column, double value, int style) {
    StartCell(column, style, nullptr);
    xml += "<v>";
    AppendDouble(xml, value);
    xml += "</v></c>";
  }
  void Write(const Cell& cell) {
    switch (cell.kind) {
      case kXlsxTrue:
      case kXlsxFalse:
        StartCell(cell.column, 0, "b");
        xml += cell.kind == kXlsxTrue ? "<v>1</v></c>" : "<v>0</v></c>";
        return;
      case kXlsxNumber:
        if (const std::optional<XlsxNumber> number = ReadXlsxNumber(cell.bytes);
            number && number->decimals <= kXlsxMaxDecimals) {
          Value(cell.column, number->value, XlsxNumberStyle(number->decimals));
          return;
        }
        break;
      case kXlsxDate:
      case kXlsxDateTime:
        if (const std::optional<XlsxDate> date = ReadXlsxDate(cell.bytes)) {
          Value(cell.column, SerialDate(*date), XlsxDateStyle(date->format));
          return;
        }
        break;
      case kXlsxText:
      case kXlsxEndOfRecord:
        break;
    }
    Text(cell.column, cell.bytes);
  }
  void StartRow() {
    rowText.clear();
    AppendInteger(rowText, row);
    xml += "<row r=\"";
    xml += rowText;
    xml += "\">";
  }
  // Compresses the XML so far once it has grown to a piece (or always) and
  // writes out what has been compressed once that has; 0 or the errno.
  bool Pack(bool always) {
    if (xml.size() < kXmlPieceSize && !always) return true;
    if (!rows.Add(xml, packed)) return false;
    xml.clear();
    return true;
  }
  int Spill(bool always) {
    if (packed.size() < kFilePieceSize && !always) return 0;
    if (const int failed = WriteAll(fd, packed); failed != 0) return failed;
    packedSize += packed.size();
    packed.clear();
    return 0;
  }

  int fd = -1;
  Deflater rows{kCompressionLevel};
  std::string xml;     // the rows' XML not yet compressed
  std::string packed;  // compressed, not yet in the scratch file
  std::uint64_t packedSize = 0;
  std::uint64_t row = 1;  // the number of the next row
  std::string rowText;
  std::size_t columns = 0;
  std::vector<std::string> names;
  std::vector<Cell> cells;
  std::string head, tail;  // the workbook around the compressed rows
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
  name_ = sheet;
  parts.columns = header.size();
  if (parts.columns > 0) {
    parts.StartRow();
    for (std::size_t column = 0; column < parts.columns; ++column)
      parts.Text(column, EscapeXlsxText(header[column]), kXlsxBoldStyle);
    parts.xml += "</row>";
    ++parts.row;
  }
  return true;
}

bool XlsxSheet::Write(std::string_view piece) {
  Parts& parts = *parts_;
  if (!errorText_.empty() || parts.fd < 0) return false;
  std::string_view bytes = piece;
  if (!pending_.empty()) {
    pending_.append(piece);
    bytes = pending_;
  }
  std::size_t at = 0;
  while (ReadRecord(bytes, at, parts.cells)) {
    if (!parts.cells.empty()) {
      parts.StartRow();
      for (const Cell& cell : parts.cells) parts.Write(cell);
      parts.xml += "</row>";
    }
    ++parts.row;
    if (!parts.Pack(false)) return Fail("the workbook cannot be compressed");
    if (parts.rows.Size() + parts.xml.size() > ZipArchive::kMaxSize - kFrameAllowance)
      return Fail(kTooLarge);
    if (const int failed = parts.Spill(false); failed != 0)
      return Fail("the workbook's file cannot be written", failed);
  }
  pending_ = std::string(bytes.substr(at));
  return true;
}

bool XlsxSheet::Close(const std::vector<double>& widths, std::uint32_t rows) {
  Parts& parts = *parts_;
  if (!errorText_.empty() || parts.fd < 0) return false;
  if (!parts.Pack(true) || !parts.rows.End(parts.packed, false))
    return Fail("the workbook cannot be compressed");
  if (const int failed = parts.Spill(true); failed != 0)
    return Fail("the workbook's file cannot be written", failed);

  // The sheet's XML around its rows, now that the widths and the size of the
  // table are known.
  const bool table = parts.columns > 0;
  const std::string last =
      table ? parts.ColumnName(parts.columns - 1) + std::to_string(rows + 1) : std::string();
  std::string before =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<dimension ref=\"";
  before += table ? "A1:" + last : "A1";
  before += "\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">";
  if (table) {
    before +=
        "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
        "<selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/>";
  }
  before += "</sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
  const std::size_t widthCount = std::min(parts.columns, widths.size());
  if (widthCount > 0) {
    before += "<cols>";
    for (std::size_t column = 0; column < widthCount; ++column) {
      // A width in characters as a spreadsheet stores it: with the cell's
      // padding, in 256ths of a character.
      const double stored = std::floor((widths[column] * 7 + 5) / 7 * 256) / 256;
      before += "<col min=\"" + std::to_string(column + 1) + "\" max=\"" +
                std::to_string(column + 1) + "\" width=\"";
      AppendDouble(before, stored);
      before += "\" customWidth=\"1\"/>";
    }
    before += "</cols>";
  }
  before += "<sheetData>";
  std::string after = "</sheetData>";
  if (table) after += "<autoFilter ref=\"A1:" + last + "\"/>";
  after +=
      "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
      "footer=\"0.3\"/></worksheet>";

  Deflater opening(kCompressionLevel), closing(kCompressionLevel);
  std::string openingBytes, closingBytes;
  if (!opening.Add(before, openingBytes) || !opening.End(openingBytes, false) ||
      !closing.Add(after, closingBytes) || !closing.End(closingBytes, true)) {
    return Fail("the workbook cannot be compressed");
  }
  const std::uint32_t crc =
      CombineCrc(CombineCrc(opening.Crc(), parts.rows.Crc(), parts.rows.Size()), closing.Crc(),
                 closing.Size());
  const std::uint64_t size = opening.Size() + parts.rows.Size() + closing.Size();
  const std::uint64_t compressed = openingBytes.size() + parts.packedSize + closingBytes.size();

  std::string filter;
  if (table) {
    filter = "$A$1:$" + parts.ColumnName(parts.columns - 1) + "$" + std::to_string(rows + 1);
  }
  ZipArchive zip;
  if (!zip.Add("[Content_Types].xml", XlsxContentTypes()) ||
      !zip.Add("_rels/.rels", XlsxPackageRelationships()) ||
      !zip.Add("docProps/app.xml", XlsxApplicationProperties()) ||
      !zip.Add("docProps/core.xml", XlsxCoreProperties()) ||
      !zip.Add("xl/workbook.xml", XlsxWorkbook(name_, filter)) ||
      !zip.Add("xl/_rels/workbook.xml.rels", XlsxWorkbookRelationships()) ||
      !zip.Add("xl/styles.xml", XlsxStyles())) {
    return Fail("the workbook cannot be compressed");
  }
  if (!zip.AddHeader(kXlsxSheetPart, crc, compressed, size)) return Fail(kTooLarge);
  parts.head = zip.Take() + openingBytes;
  if (!zip.Finish()) return Fail(kTooLarge);
  parts.tail = closingBytes + zip.Take();
  return true;
}

bool XlsxSheet::CopyTo(ByteSink& out) {
  Parts& parts = *parts_;
  if (!errorText_.empty() || parts.fd < 0) return false;
  if (lseek(parts.fd, 0, SEEK_SET) != 0) return Fail("the workbook cannot be read", errno);
  if (!out.Write(parts.head)) return false;
  if (const int failed = ReadPieces(parts.fd, 1 << 20,
                                    [&out](std::string_view piece) { return out.Write(piece); });
      failed != 0) {
    return Fail("the workbook cannot be read", failed);
  }
  out.Write(parts.tail);
  return out.Error() == 0;
}

}  // namespace kestrava
