// The output formats of records: exact bytes for every kind of value, and
// the same bytes whatever the pieces the records arrive in.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "json/JsonFormat.h"
#include "output/CsvWriter.h"
#include "output/RecordWriter.h"

namespace kestrava {
namespace {

// The records of `pages` (JSON array texts), handed over page by page.
std::string Written(OutputFormat format, const std::vector<std::string>& pages) {
  StringSink out;
  const auto writer = MakeRecordWriter(format, out, std::make_unique<StringSpool>());
  for (const std::string& page : pages) {
    const auto records = AsJSONArray(ParseJSONValue(page));
    EXPECT_NE(records, nullptr) << page;
    if (records == nullptr || !writer->Add(*records)) return "<failed>";
  }
  if (!writer->Finish()) return "<failed>";
  return out.text;
}

TEST(CsvCell, QuotesAndGuardsAsSpreadsheetsNeed) {
  struct Case {
    std::string text;
    bool guard;
    std::string cell;
  };
  const Case cases[] = {
      {"", true, ""},
      {"plain", true, "plain"},
      {"a,b", true, "\"a,b\""},
      {"say \"hi\"", true, "\"say \"\"hi\"\"\""},
      {"two\nlines", true, "\"two\nlines\""},
      {"cr\rhere", true, "\"cr\rhere\""},
      {" lead", true, "\" lead\""},
      {"trail ", true, "\"trail \""},
      {"in side", true, "in side"},
      {"tab\tinside", true, "tab\tinside"},
      // Formulas: a leading apostrophe; quoting still applies.
      {"=1+2", true, "'=1+2"},
      {"+49 30 1234", true, "'+49 30 1234"},
      {"-cmd|' /C calc'!A0", true, "'-cmd|' /C calc'!A0"},
      {"@SUM(A1:A9)", true, "'@SUM(A1:A9)"},
      {"\tx", true, "'\tx"},
      {"\rx", true, "\"'\rx\""},
      {"=HYPERLINK(\"http://x\",\"y\")", true, "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"=a ", true, "\"'=a \""},
      {"-", true, "'-"},
      {"+", true, "'+"},
      // Plain decimal numbers are numbers, never formulas.
      {"-12.50", true, "-12.50"},
      {"+7", true, "+7"},
      {"-0", true, "-0"},
      {"-12.", true, "'-12."},
      {"-.5", true, "'-.5"},
      {"-1e5", true, "'-1e5"},
      {"-12.50 ", true, "\"'-12.50 \""},
      {"--1", true, "'--1"},
      // Without the guard (nested values).
      {"=x", false, "=x"},
      {"{\"a\":1,\"b\":2}", false, "\"{\"\"a\"\":1,\"\"b\"\":2}\""},
  };
  for (const Case& c : cases) {
    std::string row = "|";
    AppendTextCell(row, c.text, c.guard);
    EXPECT_EQ(row, "|" + c.cell) << c.text;
  }
}

TEST(CsvWriter, ColumnsInOrderOfFirstAppearanceAndEveryKindOfValue) {
  const std::string csv = Written(
      OutputFormat::Csv,
      {R"([{"id":1,"amount":12.50,"note":"a,b","ok":true},{"id":2,"amount":-0.5e3,"tags":[1,"x"]}])",
       R"([{"note":null,"id":3,"meta":{"k":"v"},"ok":false,"id":"dup"},"loose",7,null,[1,2]])",
       R"([])", R"([{"amount":"=1+1","extra":" x"}])"});
  EXPECT_EQ(csv,
            "id,amount,note,ok,tags,meta,value,extra\r\n"
            "1,12.50,\"a,b\",true,,,,\r\n"
            "2,-0.5e3,,,\"[1,\"\"x\"\"]\",,,\r\n"
            "3,,,false,,\"{\"\"k\"\":\"\"v\"\"}\",,\r\n"
            ",,,,,,loose,\r\n"
            ",,,,,,7,\r\n"
            ",,,,,,,\r\n"
            ",,,,,,\"[1,2]\",\r\n"
            ",'=1+1,,,,,,\" x\"\r\n");
}

TEST(CsvWriter, EdgeShapes) {
  struct Case {
    const char* name;
    std::vector<std::string> pages;
    std::string csv;
  };
  const Case cases[] = {
      {"no records", {"[]", "[]"}, ""},
      {"no pages", {}, ""},
      {"one empty object", {"[{}]"}, ""},
      {"empty objects and one member", {"[{},{\"a\":1},{}]"}, "a\r\n\"\"\r\n1\r\n\"\"\r\n"},
      {"a lone null", {"[null]"}, "value\r\n\"\"\r\n"},
      {"empty string member", {"[{\"\":\"\"}]"}, "\"\"\r\n\"\"\r\n"},
      {"header cells are guarded and quoted",
       {"[{\"=cmd\":1,\"a,b\":2,\"-3\":3}]"},
       "'=cmd,\"a,b\",-3\r\n1,2,3\r\n"},
      {"a quoted CR LF inside a row that is filled up later",
       {"[{\"a\":\"x\\r\\ny\"}]", "[{\"b\":\"\\\"q\\\"\"}]"},
       "a,b\r\n\"x\r\ny\",\r\n,\"\"\"q\"\"\"\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Written(OutputFormat::Csv, c.pages), c.csv) << c.name;
}

TEST(CsvWriter, TheExcelDialectSeparatesWithSemicolonsAndWritesDecimalCommas) {
  struct Case {
    const char* name;
    std::vector<std::string> pages;
    std::string csv;
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Case cases[] = {
      {"no records: nothing, not even the mark", {"[]"}, ""},
      {"numbers get a decimal comma, texts stay as written",
       {R"([{"n":12.50,"e":-3.1e-2,"s":"12.50","i":7}])"},
       bom + "n;e;s;i\r\n12,50;-3,1e-2;12.50;7\r\n"},
      {"a text with the separator is quoted, one with a comma is not",
       {R"([{"a;b":"x;y","c":"1,5"}])"},
       bom + "\"a;b\";c\r\n\"x;y\";1,5\r\n"},
      {"rows filled up with semicolons",
       {R"([{"a":1}])", R"([{"b":"\"q\""},"v"])"},
       bom + "a;b;value\r\n1;;\r\n;\"\"\"q\"\"\";\r\n;;v\r\n"},
      {"nested values keep their JSON, and the formula guard holds",
       {R"([{"x":[1.5,{"y":"=z"}],"f":"=1;2"}])"},
       bom + "x;f\r\n\"[1.5,{\"\"y\"\":\"\"=z\"\"}]\";\"'=1;2\"\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Written(OutputFormat::CsvExcel, c.pages), c.csv) << c.name;
}

// Records of `count` objects, each with a member of its own name.
std::string DistinctNames(int count, int from = 0) {
  std::string records = "[";
  for (int i = from; i < from + count; ++i)
    records += (i > from ? ",{\"n" : "{\"n") + std::to_string(i) + "\":" + std::to_string(i) + "}";
  return records + "]";
}

TEST(CsvWriter, RefusesMoreThanAThousandColumnsAndWritesNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> pages;
    bool refused;
  };
  std::string wide = "[{";
  for (int i = 0; i < 1001; ++i) wide += (i > 0 ? ",\"m" : "\"m") + std::to_string(i) + "\":1";
  wide += "}]";
  const Case cases[] = {
      {"a thousand", {DistinctNames(1000)}, false},
      {"a thousand and one", {DistinctNames(1000), DistinctNames(1, 1000)}, true},
      {"a thousand and a record that is no object", {DistinctNames(1000), "[7]"}, true},
      {"one object of a thousand and one members", {wide}, true},
      {"a thousand, then only names already seen",
       {DistinctNames(1000), DistinctNames(1000), "[{\"n5\":1,\"n999\":2}]"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StringSink out;
    CsvWriter writer(out, std::make_unique<StringSpool>());
    bool added = true;
    for (const std::string& page : c.pages)
      added = added && writer.Add(*AsJSONArray(ParseJSONValue(page)));
    EXPECT_EQ(added, !c.refused);
    EXPECT_EQ(writer.Refused(), c.refused);
    EXPECT_EQ(writer.Error(), 0);
    EXPECT_EQ(writer.Finish(), !c.refused);
    if (c.refused) {
      EXPECT_EQ(out.text, "");
    } else {
      EXPECT_EQ(std::count(out.text.begin(), out.text.begin() + out.text.find('\r'), ','), 999);
    }
  }
}

TEST(RecordWriters, TheSameBytesWhateverThePagesAndAsTheWholeArray) {
  const std::vector<std::string> pages = {R"([{"id":1,"s":"a\/b\n"},{"n":[]}])", "[]",
                                          R"([2.50,{"deep":{"x":[{}]}}])"};
  const std::string all = R"([{"id":1,"s":"a\/b\n"},{"n":[]},2.50,{"deep":{"x":[{}]}}])";
  const auto whole = ParseJSONValue(all);
  for (const OutputFormat format :
       {OutputFormat::Display, OutputFormat::Compact, OutputFormat::Ndjson, OutputFormat::Csv}) {
    SCOPED_TRACE(static_cast<int>(format));
    EXPECT_EQ(Written(format, pages), Written(format, {all}));
  }
  EXPECT_EQ(Written(OutputFormat::Display, pages), TJson::Format(*whole) + "\n");
  EXPECT_EQ(Written(OutputFormat::Compact, pages), whole->ToString() + "\n");
  EXPECT_EQ(Written(OutputFormat::Ndjson, pages),
            "{\"id\":1,\"s\":\"a\\/b\\n\"}\n{\"n\":[]}\n2.50\n{\"deep\":{\"x\":[{}]}}\n");
  EXPECT_EQ(Written(OutputFormat::Display, {"[]"}), "[\r\n]\n");
  EXPECT_EQ(Written(OutputFormat::Compact, {}), "[]\n");
  EXPECT_EQ(Written(OutputFormat::Ndjson, {"[]"}), "");
}

// A sink that takes `room` bytes, then fails as a full disk does.
class FullSink final : public ByteSink {
 public:
  explicit FullSink(std::size_t room) : room_(room) {}
  bool Write(std::string_view bytes) override {
    if (error_ != 0 || bytes.size() > room_) {
      error_ = 28;  // ENOSPC
      return false;
    }
    room_ -= bytes.size();
    return true;
  }
  int Error() const noexcept override { return error_; }

 private:
  std::size_t room_;
  int error_ = 0;
};

TEST(RecordWriters, AFullSinkStopsTheWriterWithItsReason) {
  std::string many = "[";
  for (int i = 0; i < 3000; ++i)
    many += (i > 0 ? ",{\"id\":" : "{\"id\":") + std::to_string(i) +
            ",\"t\":\"0123456789012345678901234567890123456789\"}";
  many += "]";
  const auto records = AsJSONArray(ParseJSONValue(many));
  for (const OutputFormat format :
       {OutputFormat::Display, OutputFormat::Compact, OutputFormat::Ndjson, OutputFormat::Csv}) {
    SCOPED_TRACE(static_cast<int>(format));
    FullSink out(1000);
    const auto writer = MakeRecordWriter(format, out, std::make_unique<StringSpool>());
    const bool written = writer->Add(*records) && writer->Finish();
    EXPECT_FALSE(written);
    EXPECT_EQ(writer->Error(), 28);
  }
}

}  // namespace
}  // namespace kestrava
