// Records of every shape the JSON of a reply can hold, synced from the
// scripted server and printed again by history: exactly what transactions
// printed of the same replies, under the keys the records give.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/CliFixture.h"
#include "tests/cli/Process.h"
#include "tests/support/Workbook.h"

namespace kestrava::testing {
namespace {

// In the store's order already (by "bookingDate" text), all within
// 2025-05-14T00:00 to 2025-05-15T08:30: an escaped text, a date alone, a
// numeric id, an offset, duplicate names, number texts as written, a
// missing and an empty id, digits past the milliseconds, a surrogate pair.
const std::string kPage0 =
    R"([{"transactionId":"a1","accountId":1,"bookingDate":"2025-05-14","amount":1.50,)"
    R"("note":"caf\u00e9 \/ \"q\"\t<\u001b[2J>"},)"
    R"({"transactionId":7,"accountId":"2","bookingDate":"2025-05-14T08:00:00+02:00",)"
    R"("amount":1E+3,"x":{"a":1,"a":2}},)"
    R"({"accountId":1,"bookingDate":"2025-05-14T09:00:00.1234567Z","amount":-0,)"
    R"("emoji":"\ud83d\ude00"}])";
const std::string kPage1 =
    R"([{"transactionId":"","accountId":1,"bookingDate":"2025-05-15T08:30:00.000Z",)"
    R"("amount":12345678901234567890,"list":[1,[2,{}],null,true,false]}])";

class SyncRecordsTest : public CliTest {
 protected:
  void EnqueueExport() {
    server.Enqueue(Reply(PageReply(2, kPage0)));
    server.Enqueue(Reply(PageReply(2, kPage1)));
  }
  std::string Sha256(const std::string& text) {
    const ProcessResult run =
        RunProcess({"/bin/sh", "-c", "printf %s \"$0\" | sha256sum", text}, {});
    return "sha256:" + run.out.substr(0, 64);
  }
  ScratchFolder folder;
  const std::string db = folder.File("kestrava.db");
  const std::vector<std::string> range = {"--from", "2025-05-14T00:00", "--to", "2025-05-15T08:30"};
};

TEST_F(SyncRecordsTest, HistoryPrintsEachRecordExactlyAsTransactionsDid) {
  server.Enqueue(Reply(TokenReply("tok-1")));
  server.Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"accountId":1},{"accountId":"2"}]})")));
  EnqueueExport();
  const Outcome synced = Service({"--db", db, "sync", "--from", "2025-05-14T00:00"});
  ASSERT_EQ(synced.code, 0) << synced.err;
  EXPECT_EQ(synced.out,
            "sync: 2 accounts, 4 records read: 4 new, 0 changed, 0 unchanged, 0 repeated; covered "
            "2025-05-14T00:00:00.000 to 2025-05-15T08:30:00.000\n");
  // A workbook's bytes hold the time it was written: xlsx is compared as a
  // reader that is not ours sees it, cell by cell (type, value, number
  // format, boldness), with the sheet, frozen row, filter and widths.
  const auto shown = [&](const std::string& format, const Outcome& run) {
    if (format != "xlsx") return run.out;
    WriteWhole(folder.File("shown.xlsx"), run.out);
    return ReadWorkbook(folder.File("shown.xlsx"));
  };
  for (const std::string format : {"display", "compact", "ndjson", "csv", "csv-excel", "xlsx"}) {
    SCOPED_TRACE(format);
    server.Enqueue(Reply(TokenReply("tok-2")));
    EnqueueExport();
    std::vector<std::string> args = {"--format", format, "transactions"};
    args.insert(args.end(), range.begin(), range.end());
    const Outcome service = Service(args);
    ASSERT_EQ(service.code, 0) << service.err;
    const std::size_t requests = server.Requests().size();
    args = {"--db", db, "--format", format, "history", "transactions"};
    args.insert(args.end(), range.begin(), range.end());
    const Outcome stored = Service(args);
    EXPECT_EQ(stored.code, 0) << stored.err;
    EXPECT_EQ(shown(format, stored), shown(format, service));
    EXPECT_EQ(server.Requests().size(), requests);  // no network
  }
  // The workbook holds every record: the 20-digit amount as text, the date
  // alone and the date-time in UTC as dates.
  const std::string workbook =
      shown("xlsx", Service({"--db", db, "--format", "xlsx", "history", "transactions"}));
  EXPECT_TRUE(workbook.starts_with("sheets transactions\n")) << workbook;
  EXPECT_NE(workbook.find(" s \"12345678901234567890\""), std::string::npos) << workbook;
  EXPECT_NE(workbook.find(" d \"2025-05-14T00:00:00.000\""), std::string::npos) << workbook;
  EXPECT_NE(workbook.find(" d \"2025-05-15T08:30:00.000\""), std::string::npos) << workbook;
  // The keys: an id as given, a number's text, else the hash of the
  // record's compact text as stored.
  const auto column = [&](const std::string& sql) {
    const ProcessResult run = RunProcess({"/usr/bin/sqlite3", "-readonly", db, sql}, {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
  };
  const std::string third = column("SELECT record_text FROM transactions WHERE id = 3");
  const std::string fourth = column("SELECT record_text FROM transactions WHERE id = 4");
  EXPECT_EQ(column("SELECT record_key, account_id, booking_date FROM transactions ORDER BY id"),
            "a1|1|2025-05-14\n7|2|2025-05-14T08:00:00+02:00\n" +
                Sha256(third.substr(0, third.size() - 1)) + "|1|2025-05-14T09:00:00.1234567Z\n" +
                Sha256(fourth.substr(0, fourth.size() - 1)) + "|1|2025-05-15T08:30:00.000Z\n");
  // The accounts as received.
  const Outcome accounts = Service({"--db", db, "--compact", "history", "accounts"});
  EXPECT_EQ(accounts.out, R"([{"accountId":1},{"accountId":"2"}])"
                          "\n");
}

TEST_F(SyncRecordsTest, AReplyThatIsNoJsonObjectFailsTheRunAndKeepsTheFirstPage) {
  server.Enqueue(Reply(TokenReply("tok-1")));
  server.Enqueue(Reply(JsonReply(200, "OK", R"({"result":[]})")));
  server.Enqueue(Reply(PageReply(2, kPage0)));
  server.Enqueue(Reply(JsonReply(200, "OK", "[not json")));
  const Outcome failed = Service({"--db", db, "sync", "--from", "2025-05-14T00:00"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err, "kestrava-cli: StatusCode: 200 - OK\nkestrava-cli: reply: [not json\n");
  const ProcessResult run =
      RunProcess({"/usr/bin/sqlite3", "-readonly", db,
                  "SELECT outcome, pages, records_read, error_text FROM sync_runs; "
                  "SELECT COUNT(*) FROM transactions; SELECT COUNT(*) FROM coverage"},
                 {});
  EXPECT_EQ(run.out, "failure|1|3|StatusCode: 200 - OK\n3\n0\n");
}

}  // namespace
}  // namespace kestrava::testing
