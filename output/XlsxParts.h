#pragma once

// The fixed parts of a workbook of one sheet (Office Open XML): the content
// types, the relationships, the workbook, the styles and the document
// properties, and the styles' indexes that the sheet's cells use.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava {

// The cell styles of styles.xml: the default, the bold header, a number
// with 0 to kXlsxMaxDecimals decimals, and the date formats.
constexpr int kXlsxBoldStyle = 1;
constexpr int kXlsxMaxDecimals = 30;
constexpr int XlsxNumberStyle(int decimals) {
  return 2 + decimals;
}
// The style of a date shown in `format` (one of ReadXlsxDate's); the
// default style for another.
int XlsxDateStyle(std::string_view format);

std::string XlsxContentTypes();
std::string XlsxPackageRelationships();
std::string XlsxWorkbookRelationships();
std::string XlsxStyles();
std::string XlsxApplicationProperties();
// Made now.
std::string XlsxCoreProperties();
// The workbook of the sheet `name`, with the autofilter's range (as
// "$A$1:$C$3") when it has one.
std::string XlsxWorkbook(std::string_view name, std::string_view filterRange);

// `text` with the characters that XML reserves escaped, for attributes and
// element content alike.
void AppendXmlEscaped(std::string& out, std::string_view text);

// The letters of a column (from 0): A, ..., Z, AA, ...
std::string XlsxColumnName(std::size_t column);

// The sheet's part in the package.
constexpr char kXlsxSheetPart[] = "xl/worksheets/sheet1.xml";

}  // namespace kestrava
