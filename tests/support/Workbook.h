#pragma once

// A workbook as a reader that is not ours sees it: tests/support/read-workbook
// (openpyxl in Debian's /usr/bin/python3) run on a file.

#include <string>

namespace kestrava::testing {

// What read-workbook prints of the workbook at `path`, its errors included:
// every cell (or, with `summary`, the row count, the types of each column and
// the first and the last rows).
std::string ReadWorkbook(const std::string& path, bool summary = false);

}  // namespace kestrava::testing
