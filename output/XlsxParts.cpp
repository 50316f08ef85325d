#include "output/XlsxParts.h"

#include <ctime>
#include <iterator>

namespace kestrava {
namespace {

constexpr char kXmlDeclaration[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr char kMainNamespace[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kRelationships[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kOfficeRelationships[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// The date formats, after the number styles.
constexpr std::string_view kDateFormats[] = {"yyyy-mm-dd",
                                             "yyyy-mm-dd hh:mm",
                                             "yyyy-mm-dd hh:mm:ss",
                                             "yyyy-mm-dd hh:mm:ss.0",
                                             "yyyy-mm-dd hh:mm:ss.00",
                                             "yyyy-mm-dd hh:mm:ss.000"};
constexpr int kFirstCustomFormat = 164;  // the first number format id not built in

std::string Relationship(int id, std::string_view type, std::string_view target) {
  return "<Relationship Id=\"rId" + std::to_string(id) + "\" Type=\"" + std::string(type) +
         "\" Target=\"" + std::string(target) + "\"/>";
}

}  // namespace

int XlsxDateStyle(std::string_view format) {
  for (std::size_t i = 0; i < std::size(kDateFormats); ++i)
    if (kDateFormats[i] == format)
      return XlsxNumberStyle(kXlsxMaxDecimals) + 1 + static_cast<int>(i);
  return 0;
}

std::string XlsxContentTypes() {
  const std::string kType = "application/vnd.openxmlformats-officedocument.";
  return std::string(kXmlDeclaration) +
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
         kType + "spreadsheetml.sheet.main+xml\"/>" + "<Override PartName=\"/" + kXlsxSheetPart +
         "\" ContentType=\"" + kType + "spreadsheetml.worksheet+xml\"/>" +
         "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + kType +
         "spreadsheetml.styles+xml\"/>" +
         "<Override PartName=\"/docProps/core.xml\" "
         "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
         "<Override PartName=\"/docProps/app.xml\" ContentType=\"" +
         kType + "extended-properties+xml\"/></Types>";
}

std::string XlsxPackageRelationships() {
  return std::string(kXmlDeclaration) + "<Relationships xmlns=\"" + kRelationships + "\">" +
         Relationship(1, std::string(kOfficeRelationships) + "/officeDocument", "xl/workbook.xml") +
         Relationship(2, std::string(kRelationships) + "/metadata/core-properties",
                      "docProps/core.xml") +
         Relationship(3, std::string(kOfficeRelationships) + "/extended-properties",
                      "docProps/app.xml") +
         "</Relationships>";
}

std::string XlsxWorkbookRelationships() {
  return std::string(kXmlDeclaration) + "<Relationships xmlns=\"" + kRelationships + "\">" +
         Relationship(1, std::string(kOfficeRelationships) + "/worksheet",
                      "worksheets/sheet1.xml") +
         Relationship(2, std::string(kOfficeRelationships) + "/styles", "styles.xml") +
         "</Relationships>";
}

std::string XlsxStyles() {
  std::string formats, styles;
  int count = 0;
  auto add = [&](std::string_view code) {
    const int id = kFirstCustomFormat + count++;
    formats += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"" + std::string(code) +
               "\"/>";
    styles += "<xf numFmtId=\"" + std::to_string(id) +
              "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
  };
  for (int decimals = 0; decimals <= kXlsxMaxDecimals; ++decimals)
    add(decimals == 0 ? "0" : "0." + std::string(static_cast<std::size_t>(decimals), '0'));
  for (std::string_view format : kDateFormats) add(format);
  return std::string(kXmlDeclaration) + "<styleSheet xmlns=\"" + kMainNamespace + "\">" +
         "<numFmts count=\"" + std::to_string(count) + "\">" + formats + "</numFmts>" +
         "<fonts count=\"2\">"
         "<font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
         "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border>"
         "</borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
         "</cellStyleXfs>"
         "<cellXfs count=\"" +
         std::to_string(count + 2) +
         "\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
         "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
         "applyFont=\"1\"/>" +
         styles +
         "</cellXfs>"
         "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
         "</cellStyles><dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
}

std::string XlsxApplicationProperties() {
  return std::string(kXmlDeclaration) +
         "<Properties "
         "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
         "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
         "<Application>Kestrava</Application></Properties>";
}

std::string XlsxCoreProperties() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char when[32] = "1980-01-01T00:00:00Z";
  if (gmtime_r(&now, &utc) != nullptr) std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(kXmlDeclaration) +
         "<cp:coreProperties "
         "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
         "xmlns:dcterms=\"http://purl.org/dc/terms/\" "
         "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
         when + "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + when +
         "</dcterms:modified></cp:coreProperties>";
}

std::string XlsxWorkbook(std::string_view name, std::string_view filterRange) {
  std::string workbook = std::string(kXmlDeclaration) + "<workbook xmlns=\"" + kMainNamespace +
                         "\" xmlns:r=\"" + kOfficeRelationships +
                         "\"><bookViews><workbookView/></bookViews><sheets><sheet name=\"";
  AppendXmlEscaped(workbook, name);
  workbook += "\" sheetId=\"1\" r:id=\"rId1\"/></sheets>";
  if (!filterRange.empty()) {
    // The filter's range as a spreadsheet names it: 'sheet'!$A$1:$C$3.
    std::string quoted = "'";
    for (char c : name) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    quoted += "'!";
    quoted += filterRange;
    workbook +=
        "<definedNames><definedName name=\"_xlnm._FilterDatabase\" localSheetId=\"0\" "
        "hidden=\"1\">";
    AppendXmlEscaped(workbook, quoted);
    workbook += "</definedName></definedNames>";
  }
  return workbook + "<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
}

void AppendXmlEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
}

std::string XlsxColumnName(std::size_t column) {
  std::string name;
  for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26)
    name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
  return name;
}

}  // namespace kestrava
