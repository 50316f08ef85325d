#pragma once

// One sheet of a workbook (Office Open XML), written row after row from the
// records as XlsxWriter spools them: each record is its cells (kind, column,
// bytes) and an end mark. The rows' XML is deflated as it comes into a
// nameless file in the system's temporary folder; when the export ends, the
// rest of the package (the XML before and after the rows, which holds the
// widths and the table's size, and the fixed parts) is made around them, and
// the workbook's bytes go out in one pass, that file's bytes in the middle.
// Memory stays the same however long the sheet.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/ByteSink.h"

namespace kestrava {

// The kinds of cell in the spool.
enum XlsxCellKind : unsigned char {
  kXlsxEndOfRecord = 0,
  kXlsxText,  // escaped as a workbook holds it
  kXlsxNumber,
  kXlsxTrue,
  kXlsxFalse,
  kXlsxDate,
  kXlsxDateTime,
};

// Appends a cell to the spool's text; true and false carry no bytes.
void AppendXlsxCell(std::string& out, XlsxCellKind kind, std::size_t column,
                    std::string_view bytes = {});

class XlsxSheet {
 public:
  XlsxSheet();
  ~XlsxSheet();
  XlsxSheet(const XlsxSheet&) = delete;
  XlsxSheet& operator=(const XlsxSheet&) = delete;

  // Makes the workbook with its sheet and the bold header row.
  bool Open(const std::string& sheet, const std::vector<std::string>& header);
  // The records in `piece`, from the row after the last one written; a
  // record cut by the end of the piece waits for the next one.
  bool Write(std::string_view piece);
  // The column widths, the frozen header and the autofilter over `rows`
  // records; then the workbook is made whole.
  bool Close(const std::vector<double>& widths, std::uint32_t rows);
  // The workbook's bytes, once closed.
  bool CopyTo(ByteSink& out);

  // The errno of the failure, and what failed.
  int Error() const noexcept { return error_; }
  const std::string& ErrorText() const noexcept { return errorText_; }

 private:
  struct Parts;
  bool Fail(std::string text, int error = 0);
  std::unique_ptr<Parts> parts_;
  std::string name_;
  std::string pending_;
  int error_ = 0;
  std::string errorText_;
};

}  // namespace kestrava
