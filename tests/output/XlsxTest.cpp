// The xlsx output format: which values become numbers, dates and texts, and
// the workbook as a reader that is not ours (openpyxl) sees it: every
// cell's type, value and format, the header, the frozen row, the filter
// and the widths.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "output/RecordWriter.h"
#include "output/XlsxCells.h"
#include "output/XlsxWriter.h"
#include "tests/support/Workbook.h"

namespace kestrava {
namespace {

using kestrava::testing::ReadWorkbook;

TEST(XlsxCells, NumbersKeepTheirDecimalsOrStayTextWhenASpreadsheetCannotHoldThem) {
  struct Case {
    std::string text;
    std::optional<double> value;  // none: text
    int decimals;
    std::size_t width;
  };
  const Case cases[] = {
      {"12.50", 12.5, 2, 5},
      {"0", 0, 0, 1},
      {"-0", -0.0, 0, 2},
      {"7", 7, 0, 1},
      {"0.10", 0.1, 2, 4},
      {"-3.10e2", -310, 0, 4},
      {"1.5e-3", 0.0015, 4, 6},
      {"1E+2", 100, 0, 3},
      {"2.5E0", 2.5, 1, 3},
      {"123456789012345", 123456789012345.0, 0, 15},  // 15 significant digits
      {"-99999999999999.9", -99999999999999.9, 1, 17},
      {"100000000000000000000", 1e20, 0, 21},  // one significant digit
      {"0.000000000000000000000000000001", 1e-30, 30, 32},
      {"1234567890123456", std::nullopt, 0, 0},  // 16 significant digits
      {"12345678901234567890", std::nullopt, 0, 0},
      {"1.0000000000000001", std::nullopt, 0, 0},
      {"1e-31", std::nullopt, 0, 0},  // 31 decimals
      {"1e400", std::nullopt, 0, 0},
      {"1e-400", std::nullopt, 0, 0},
      {"1e99999999999999999999", std::nullopt, 0, 0},
      {"", std::nullopt, 0, 0},
      {"1.", std::nullopt, 0, 0},
      {"x", std::nullopt, 0, 0},
  };
  for (const Case& c : cases) {
    const std::optional<XlsxNumber> number = ReadXlsxNumber(c.text);
    ASSERT_EQ(number.has_value(), c.value.has_value()) << c.text;
    if (!number) continue;
    EXPECT_EQ(number->value, *c.value) << c.text;
    EXPECT_EQ(number->decimals, c.decimals) << c.text;
    EXPECT_EQ(number->width, c.width) << c.text;
  }
}

TEST(XlsxCells, DatesAndLocalDateTimesFrom1900AreDatesAndTheRestText) {
  struct Case {
    std::string text;
    std::string format;  // empty: text
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  };
  const Case cases[] = {
      {"2025-05-14", "yyyy-mm-dd", 2025, 5, 14},
      {"2024-02-29", "yyyy-mm-dd", 2024, 2, 29},
      {"1900-01-01", "yyyy-mm-dd", 1900, 1, 1},
      {"2025-05-14T08:30", "yyyy-mm-dd hh:mm", 2025, 5, 14, 8, 30},
      {"2025-05-14T08:30Z", "yyyy-mm-dd hh:mm", 2025, 5, 14, 8, 30},
      {"2025-05-14T08:30:05", "yyyy-mm-dd hh:mm:ss", 2025, 5, 14, 8, 30, 5},
      {"2025-05-14T08:30:05.2", "yyyy-mm-dd hh:mm:ss.0", 2025, 5, 14, 8, 30, 5, 200},
      {"2025-05-14T08:30:05.25", "yyyy-mm-dd hh:mm:ss.00", 2025, 5, 14, 8, 30, 5, 250},
      {"2025-05-14T08:30:05.007Z", "yyyy-mm-dd hh:mm:ss.000", 2025, 5, 14, 8, 30, 5, 7},
      {"9999-12-31T23:59:59.999", "yyyy-mm-dd hh:mm:ss.000", 9999, 12, 31, 23, 59, 59, 999},
      // Text: no such day or time, before 1900, another form, or more than
      // a spreadsheet's date holds (an offset, finer than milliseconds).
      {"2025-02-29", ""},
      {"2025-13-01", ""},
      {"2025-04-31", ""},
      {"1899-12-31", ""},
      {"2025-05-14T24:00", ""},
      {"2025-05-14T08:60", ""},
      {"2025-05-14T08:30:60", ""},
      {"2025-05-14 08:30", ""},
      {"2025-05-14T08", ""},
      {"2025-05-14T", ""},
      {"2025-05-14Z", ""},
      {"2025-05-14T08:30:05.", ""},
      {"2025-05-14T08:30:05.2500", ""},
      {"2025-05-14T08:30+02:00", ""},
      {"2025-05-14T08:30:05.250+02:00", ""},
      {"2025-5-14", ""},
      {"20250514", ""},
      {"2025-05-14x", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    const std::optional<XlsxDate> date = ReadXlsxDate(c.text);
    ASSERT_EQ(date.has_value(), !c.format.empty()) << c.text;
    if (!date) continue;
    EXPECT_EQ(date->format, c.format) << c.text;
    EXPECT_EQ(date->hasTime, c.format.size() > 10) << c.text;
    EXPECT_EQ((std::vector<int>{date->year, date->month, date->day, date->hour, date->minute,
                                date->second, date->millisecond}),
              (std::vector<int>{c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond}))
        << c.text;
  }
}

TEST(XlsxCells, TextThatLooksLikeAnEscapeIsEscapedItself) {
  struct Case {
    std::string text, escaped;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"snake_case_name", "snake_case_name"},
      {"_x0041_", "_x005F_x0041_"},
      {"a_xBEEF_b_x00e9_", "a_x005F_xBEEF_b_x005F_x00e9_"},
      {"__x0041__", "__x005F_x0041__"},
      {"_x41_", "_x41_"},
      {"_X0041_", "_X0041_"},
      {"_x004G_", "_x004G_"},
      {"_x0041", "_x0041"},
      {std::string("nul\0here", 8), "nul_x0000_here"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeXlsxText(c.text), c.escaped) << c.text;
}

// A file of the test's own, removed at the end.
class WorkbookFile {
 public:
  WorkbookFile() {
    std::string pattern = ::testing::TempDir() + "kestrava-XXXXXX.xlsx";  // openpyxl reads by name
    const int fd = mkstemps(pattern.data(), 5);
    if (fd >= 0) close(fd);
    path_ = pattern;
  }
  ~WorkbookFile() { unlink(path_.c_str()); }
  WorkbookFile(const WorkbookFile&) = delete;
  WorkbookFile& operator=(const WorkbookFile&) = delete;
  const std::string& Path() const noexcept { return path_; }

 private:
  std::string path_;
};

// The records of `pages` as a workbook in `path`; the writer's error text
// when it fails.
std::string WriteWorkbook(const std::string& path, const std::vector<std::string>& pages,
                          const std::string& sheet) {
  StringSink out;
  const auto writer =
      MakeRecordWriter(OutputFormat::Xlsx, out, std::make_unique<StringSpool>(), sheet);
  for (const std::string& page : pages) {
    const auto records = AsJSONArray(ParseJSONValue(page));
    if (records == nullptr) return "no JSON array: " + page;
    if (!writer->Add(*records)) return writer->ErrorText();
  }
  if (!writer->Finish()) return writer->ErrorText();
  std::ofstream(path, std::ios::binary) << out.text;
  return "";
}

TEST(XlsxWriter, EveryCellHasTheTypeOfItsValueAsASpreadsheetReadsIt) {
  const std::vector<std::string> pages = {
      R"j([{"id":"T1","amount":12.50,"bookingDate":"2025-05-14",)j"
      R"j("valueDate":"2025-05-14T08:30:05.250Z","note":"=SUM(A1:A9)","flag":true,)j"
      R"j("ref":12345678901234567890},)j"
      R"j({"id":"T2","amount":-3.10e2,"bookingDate":"2025-05-15","valueDate":"2025-05-15T09:00",)j"
      R"j("note":"a_x0041_b\u0001","flag":false,"ref":null,"tags":["x",{"y":null}],"id":"dup"}])j",
      R"j([{"amount":0.001,"note":"Plată ăîșț","valueDate":"2025-05-15T09:00:00+02:00",)j"
      R"j("extra":{"k":1}},"loose",{},7])j",
  };
  WorkbookFile file;
  ASSERT_EQ(WriteWorkbook(file.Path(), pages, "transactions"), "");
  EXPECT_EQ(ReadWorkbook(file.Path()),
            "sheets transactions\n"
            "freeze A2\n"
            "filter A1:J7\n"
            "width A 5\n"
            "width B 9\n"
            "width C 14\n"
            "width D 26\n"
            "width E 12\n"
            "width F 7\n"
            "width G 21\n"
            "width H 17\n"
            "width I 8\n"
            "width J 8\n"
            // The header: the member names in order of first appearance.
            "A1 s \"id\" \"General\" bold\n"
            "B1 s \"amount\" \"General\" bold\n"
            "C1 s \"bookingDate\" \"General\" bold\n"
            "D1 s \"valueDate\" \"General\" bold\n"
            "E1 s \"note\" \"General\" bold\n"
            "F1 s \"flag\" \"General\" bold\n"
            "G1 s \"ref\" \"General\" bold\n"
            "H1 s \"tags\" \"General\" bold\n"
            "I1 s \"extra\" \"General\" bold\n"
            "J1 s \"value\" \"General\" bold\n"
            "A2 s \"T1\" \"General\"\n"
            "B2 n 12.5 \"0.00\"\n"
            "C2 d \"2025-05-14T00:00:00.000\" \"yyyy-mm-dd\"\n"
            "D2 d \"2025-05-14T08:30:05.250\" \"yyyy-mm-dd hh:mm:ss.000\"\n"
            "E2 s \"=SUM(A1:A9)\" \"General\"\n"  // a text, never a formula
            "F2 b true \"General\"\n"
            "G2 s \"12345678901234567890\" \"General\"\n"  // beyond a double: text
            "A3 s \"T2\" \"General\"\n"                    // the first of a name counts
            "B3 n -310 \"0\"\n"
            "C3 d \"2025-05-15T00:00:00.000\" \"yyyy-mm-dd\"\n"
            "D3 d \"2025-05-15T09:00:00.000\" \"yyyy-mm-dd hh:mm\"\n"
            "E3 s \"a_x0041_b\\u0001\" \"General\"\n"
            "F3 b false \"General\"\n"
            "H3 s \"[\\\"x\\\",{\\\"y\\\":null}]\" \"General\"\n"
            "B4 n 0.001 \"0.000\"\n"
            "D4 s \"2025-05-15T09:00:00+02:00\" \"General\"\n"
            "E4 s \"Plată ăîșț\" \"General\"\n"
            "I4 s \"{\\\"k\\\":1}\" \"General\"\n"
            "J5 s \"loose\" \"General\"\n"
            "J7 n 7 \"0\"\n");
}

TEST(XlsxWriter, RecordsThatKeepTheFirstOnesColumnsGiveTheSameSheet) {
  // Written as the records come, under the first record's header.
  const std::vector<std::string> pages = {
      R"([{"id":"A-1","amount":1.5,"day":"2026-12-09","ok":true},{"amount":-2,"id":"A-2"}])",
      R"([{"ok":false,"day":"2026-12-10T08:00:00Z"},{}])",
  };
  WorkbookFile file;
  ASSERT_EQ(WriteWorkbook(file.Path(), pages, "transactions"), "");
  EXPECT_EQ(ReadWorkbook(file.Path()),
            "sheets transactions\n"
            "freeze A2\n"
            "filter A1:D5\n"
            "width A 5\n"
            "width B 9\n"
            "width C 20\n"
            "width D 6\n"
            "A1 s \"id\" \"General\" bold\n"
            "B1 s \"amount\" \"General\" bold\n"
            "C1 s \"day\" \"General\" bold\n"
            "D1 s \"ok\" \"General\" bold\n"
            "A2 s \"A-1\" \"General\"\n"
            "B2 n 1.5 \"0.0\"\n"
            "C2 d \"2026-12-09T00:00:00.000\" \"yyyy-mm-dd\"\n"
            "D2 b true \"General\"\n"
            "A3 s \"A-2\" \"General\"\n"
            "B3 n -2 \"0\"\n"
            "C4 d \"2026-12-10T08:00:00.000\" \"yyyy-mm-dd hh:mm:ss\"\n"
            "D4 b false \"General\"\n");
}

TEST(XlsxWriter, AColumnThatComesLateInALongExportStillGetsItsHeader) {
  std::string page = "[";
  for (int i = 0; i < 20'000; ++i) page += "{\"id\":" + std::to_string(i) + ",\"note\":\"n\"},";
  page += R"({"id":20000,"late":true}])";
  WorkbookFile file;
  ASSERT_EQ(WriteWorkbook(file.Path(), {page}, "records"), "");
  EXPECT_EQ(ReadWorkbook(file.Path(), true),
            "rows 20002\n"
            "types A ns\n"
            "types B s\n"
            "types C bs\n"
            "row A s \"id\" | B s \"note\" | C s \"late\"\n"
            "row A n 0 | B s \"n\"\n"
            "row A n 1 | B s \"n\"\n"
            "last A n 20000 | C b true\n");
}

TEST(XlsxWriter, TextsAndDatesAtTheEdgesOfXmlAndOfTheCalendarReadBackAsTheyCame) {
  // What XML reserves or cannot hold, white space a reader may drop, and the
  // days around the 29 February 1900 that spreadsheets count but that never
  // was.
  const std::vector<std::string> pages = {
      R"j([{"v":"a & b <c> \"d\" 'e' ]]>"},{"v":" lead"},{"v":"trail "},{"v":"line\nfeed"},)j"
      R"j({"v":"cr\r\nlf"},{"v":"tab\tx"},{"v":"\u0001\u001f"},{"v":"\ufffe\uffff\ufffd"},)j"
      R"j({"v":"é€😀"},{"v":""},{"v":"1900-01-01"},{"v":"1900-02-28T23:59:59.999"},)j"
      R"j({"v":"1900-03-01"},{"v":"2024-02-29T12:00:00.5"},{"v":"9999-12-31"}])j",
  };
  WorkbookFile file;
  ASSERT_EQ(WriteWorkbook(file.Path(), pages, "records"), "");
  EXPECT_EQ(ReadWorkbook(file.Path()),
            "sheets records\n"
            "freeze A2\n"
            "filter A1:A16\n"
            "width A 24\n"
            "A1 s \"v\" \"General\" bold\n"
            "A2 s \"a & b <c> \\\"d\\\" 'e' ]]>\" \"General\"\n"
            "A3 s \" lead\" \"General\"\n"
            "A4 s \"trail \" \"General\"\n"
            "A5 s \"line\\nfeed\" \"General\"\n"
            "A6 s \"cr\\r\\nlf\" \"General\"\n"
            "A7 s \"tab\\tx\" \"General\"\n"
            "A8 s \"\\u0001\\u001f\" \"General\"\n"
            "A9 s \"\uFFFE\uFFFF\uFFFD\" \"General\"\n"
            "A10 s \"é€😀\" \"General\"\n"
            // A11: the empty text is an empty cell.
            "A12 d \"1900-01-01T00:00:00.000\" \"yyyy-mm-dd\"\n"
            "A13 d \"1900-02-28T23:59:59.999\" \"yyyy-mm-dd hh:mm:ss.000\"\n"
            "A14 d \"1900-03-01T00:00:00.000\" \"yyyy-mm-dd\"\n"
            "A15 d \"2024-02-29T12:00:00.500\" \"yyyy-mm-dd hh:mm:ss.0\"\n"
            "A16 d \"9999-12-31T00:00:00.000\" \"yyyy-mm-dd\"\n");
}

TEST(XlsxWriter, NoRecordsGiveAWorkbookWithAnEmptySheet) {
  WorkbookFile file;
  ASSERT_EQ(WriteWorkbook(file.Path(), {"[]"}, "accounts"), "");
  EXPECT_EQ(ReadWorkbook(file.Path()), "sheets accounts\nfreeze None\nfilter None\n");
}

TEST(XlsxWriter, WhatASheetCannotHoldFailsTheWritingAndSaysWhat) {
  const std::string longText(40'000, 'a');
  WorkbookFile file;
  EXPECT_EQ(WriteWorkbook(file.Path(), {R"([{"id":1},{"note":")" + longText + "\"}]"}, "x"),
            "a text of 40000 characters in column \"note\": a spreadsheet cell holds at most "
            "32767");
  // The longest a cell holds goes in.
  EXPECT_EQ(WriteWorkbook(file.Path(), {"[{\"note\":\"" + std::string(32'767, 'b') + "\"}]"}, "x"),
            "");

  // A sheet holds 1,048,575 records under its header.
  StringSink out;
  XlsxWriter writer(out, std::make_unique<StringSpool>(), "x");
  TJSONObject empty;
  for (std::uint32_t i = 0; i < XlsxWriter::kMaxRecords; ++i) ASSERT_TRUE(writer.Add(empty));
  EXPECT_FALSE(writer.Add(empty));
  EXPECT_NE(writer.Error(), 0);
  EXPECT_EQ(writer.ErrorText(),
            "more than 1048575 records: a sheet holds at most 1048575 rows under its header");
  EXPECT_FALSE(writer.Finish());
  EXPECT_EQ(out.text, "");
}

}  // namespace
}  // namespace kestrava
