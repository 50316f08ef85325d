// The spreadsheet formats of kestrava-cli: a workbook (xlsx) from each
// command that writes records, read back by openpyxl; where a workbook may
// go; what a sheet cannot hold; and the bytes of csv for Excel.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/CliFixture.h"
#include "tests/support/Workbook.h"

namespace kestrava::testing {
namespace {

// Transactions as the service writes them, over two pages.
const std::string kPage0 =
    R"j([{"transactionId":"98765432109876543210","amount":1538.57,"currency":"RON",)j"
    R"j("bookingDate":"2026-12-09","valueDate":"2026-12-09T14:05:00.000Z",)j"
    R"j("details":"Plată factură ăîșț","booked":true,"fee":null}])j";
const std::string kPage1 =
    R"j([{"transactionId":12345678901234567890,"amount":-0.50,"currency":"RON",)j"
    R"j("bookingDate":"2026-12-10","details":"=cmd|' /C calc'!A0","booked":false,)j"
    R"j("card":{"last4":"1234"}}])j";

const std::string kTransactionsSheet =
    "sheets transactions\n"
    "freeze A2\n"
    "filter A1:I3\n"
    "width A 21\n"
    "width B 9\n"
    "width C 11\n"
    "width D 14\n"
    "width E 24\n"
    "width F 19\n"
    "width G 9\n"
    "width H 6\n"
    "width I 17\n"
    "A1 s \"transactionId\" \"General\" bold\n"
    "B1 s \"amount\" \"General\" bold\n"
    "C1 s \"currency\" \"General\" bold\n"
    "D1 s \"bookingDate\" \"General\" bold\n"
    "E1 s \"valueDate\" \"General\" bold\n"
    "F1 s \"details\" \"General\" bold\n"
    "G1 s \"booked\" \"General\" bold\n"
    "H1 s \"fee\" \"General\" bold\n"
    "I1 s \"card\" \"General\" bold\n"
    "A2 s \"98765432109876543210\" \"General\"\n"
    "B2 n 1538.57 \"0.00\"\n"
    "C2 s \"RON\" \"General\"\n"
    "D2 d \"2026-12-09T00:00:00.000\" \"yyyy-mm-dd\"\n"
    "E2 d \"2026-12-09T14:05:00.000\" \"yyyy-mm-dd hh:mm:ss.000\"\n"
    "F2 s \"Plată factură ăîșț\" \"General\"\n"
    "G2 b true \"General\"\n"
    "A3 s \"12345678901234567890\" \"General\"\n"
    "B3 n -0.5 \"0.00\"\n"
    "C3 s \"RON\" \"General\"\n"
    "D3 d \"2026-12-10T00:00:00.000\" \"yyyy-mm-dd\"\n"
    "F3 s \"=cmd|' /C calc'!A0\" \"General\"\n"
    "G3 b false \"General\"\n"
    "I3 s \"{\\\"last4\\\":\\\"1234\\\"}\" \"General\"\n";

class CliSpreadsheet : public CliTest {
 protected:
  void EnqueueTransactions() {
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(2, kPage0)));
    server.Enqueue(Reply(PageReply(2, kPage1)));
  }
  ScratchFolder folder;
};

TEST_F(CliSpreadsheet, TransactionsToAWorkbookFile) {
  const std::string file = folder.File("december.xlsx");
  EnqueueTransactions();
  const Outcome run = Transactions({"--format", "xlsx", "--output", file});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadWorkbook(file), kTransactionsSheet);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"december.xlsx"});  // no working file left
}

TEST_F(CliSpreadsheet, AWorkbookOnStandardOutputThatIsNoTerminalAndASheetForEachCommand) {
  EnqueueTransactions();
  const Outcome printed = Transactions({"--format", "xlsx"});
  EXPECT_EQ(printed.code, 0) << printed.err;
  ASSERT_TRUE(printed.out.starts_with("PK\x03\x04")) << printed.out.substr(0, 40);
  WriteWhole(folder.File("printed.xlsx"), printed.out);
  EXPECT_EQ(ReadWorkbook(folder.File("printed.xlsx")), kTransactionsSheet);

  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(
      JsonReply(200, "OK", R"({"result":[{"id":"RO49AAAA1B31007593840000","balance":10}]})")));
  const std::string accounts = folder.File("accounts.xlsx");
  EXPECT_EQ(Service({"--format", "xlsx", "--output", accounts, "accounts"}).code, 0);
  EXPECT_EQ(ReadWorkbook(accounts),
            "sheets accounts\nfreeze A2\nfilter A1:B2\nwidth A 25\nwidth B 10\n"
            "A1 s \"id\" \"General\" bold\nB1 s \"balance\" \"General\" bold\n"
            "A2 s \"RO49AAAA1B31007593840000\" \"General\"\nB2 n 10 \"0\"\n");

  const std::string records = folder.File("records.xlsx");
  const Outcome format = Call({"--format", "xlsx", "--output", records, "format"}, "{\"x\":1.0}");
  EXPECT_EQ(format.code, 0) << format.err;
  EXPECT_EQ(ReadWorkbook(records),
            "sheets records\nfreeze A2\nfilter A1:A2\nwidth A 4\n"
            "A1 s \"x\" \"General\" bold\nA2 n 1 \"0.0\"\n");
}

TEST_F(CliSpreadsheet, AWorkbookNeverGoesToATerminalNorComesFromACommandWithoutRecords) {
  const std::string toTerminal =
      "--format xlsx writes a workbook: give --output FILE, or send standard output to a file or "
      "a program";
  const std::string noRecords =
      "--format xlsx is for the commands that write records: accounts, transactions, history and "
      "format";
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--format", "xlsx", "accounts"}, toTerminal},
      {{"--format", "xlsx", "--output", "-", "accounts"}, toTerminal},
      {{"--format=xlsx", "transactions", "--day", "today"}, toTerminal},
      {{"--format", "xlsx", "format"}, toTerminal},
      {{"--format", "xlsx", "history", "transactions"}, toTerminal},
      {{"--format", "xlsx", "history", "accounts"}, toTerminal},
      {{"--format", "xlsx", "login"}, noRecords},
      {{"--format", "xlsx", "sync", "--from", "2026-12-01"}, noRecords},
      {{"--format", "xlsx", "status"}, noRecords},
  };
  outIsTerminal = true;
  for (const Case& c : cases) {
    const Outcome run = Call(c.args, "[]");
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: " + c.message +
                           "\nkestrava-cli: try 'kestrava-cli --help' for more information\n");
  }
  EXPECT_EQ(server.Requests().size(), 0u);

  // To a file it goes, from a terminal too; the last format given counts.
  EXPECT_EQ(Call({"--format", "xlsx", "--output", folder.File("t.xlsx"), "format"}, "[]").code, 0);
  EXPECT_EQ(Call({"--format", "xlsx", "--compact", "format"}, "[]").out, "[]\n");
}

TEST_F(CliSpreadsheet, WhatASheetCannotHoldFailsTheExportAndLeavesTheFileAsItWas) {
  const std::string file = folder.File("kept.xlsx");
  WriteWhole(file, "old");
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(
      Reply(PageReply(1, "[{\"id\":1},{\"id\":2,\"note\":\"" + std::string(40'000, 'x') + "\"}]")));
  const Outcome run = Transactions({"--format", "xlsx", "--output", file});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "kestrava-cli: cannot write " + file +
                         ": a text of 40000 characters in column \"note\": a spreadsheet cell "
                         "holds at most 32767\n");
  EXPECT_EQ(ReadWhole(file), "old");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"kept.xlsx"});
}

TEST_F(CliSpreadsheet, CsvForExcelByteForByte) {
  EnqueueTransactions();
  const Outcome run = Transactions({"--csv-excel"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out,
            "\xEF\xBB\xBF"
            "transactionId;amount;currency;bookingDate;valueDate;details;booked;fee;card\r\n"
            "98765432109876543210;1538,57;RON;2026-12-09;2026-12-09T14:05:00.000Z;"
            "Plată factură ăîșț;true;;\r\n"
            "12345678901234567890;-0,50;RON;2026-12-10;;'=cmd|' /C calc'!A0;false;;"
            "\"{\"\"last4\"\":\"\"1234\"\"}\"\r\n");
  // The same as --format csv-excel; the last format given counts.
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--format", "csv-excel"}).out, run.out);
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--csv-excel", "--format", "csv"}).out.substr(0, 14), "transactionId,");
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--format", "csv", "--csv-excel"}).out.substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
}  // namespace kestrava::testing
