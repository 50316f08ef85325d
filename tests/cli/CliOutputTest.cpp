// The results of kestrava-cli: every output format for accounts and
// transactions, on standard output and in a file (--output), the file
// replaced only on success, and where the secret and the range come from.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "json/JSON.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

// Records that need every rule of the formats: quoting, the formula guard,
// numbers kept as written, nested values, missing members and elements that
// are no objects; split over two pages.
const std::string kPage0 =
    R"j([{"id":"T1","amount":12.50,"counterparty":"=HYPERLINK(\"http://x\")","note":"a, b"},)j"
    R"j({"id":"T2","amount":-3.10e2,"tags":["x",{"y":null}],"counterparty":"-5.25"}])j";
const std::string kPage1 =
    R"j([{"id":"T3","note":" padded ","extra":true,"id":"dup"},"loose",null])j";
const std::string kAll =
    R"j([{"id":"T1","amount":12.50,"counterparty":"=HYPERLINK(\"http://x\")","note":"a, b"},)j"
    R"j({"id":"T2","amount":-3.10e2,"tags":["x",{"y":null}],"counterparty":"-5.25"},)j"
    R"j({"id":"T3","note":" padded ","extra":true,"id":"dup"},"loose",null])j";

std::string Expected(const std::string& format) {
  if (format == "display") return Display(kAll) + "\n";
  if (format == "compact") return ParseJSONValue(kAll)->ToString() + "\n";  // "/" as "\/"
  if (format == "ndjson")
    return R"j({"id":"T1","amount":12.50,"counterparty":"=HYPERLINK(\"http:\/\/x\")","note":"a, b"})j"
           "\n"
           R"j({"id":"T2","amount":-3.10e2,"tags":["x",{"y":null}],"counterparty":"-5.25"})j"
           "\n"
           R"j({"id":"T3","note":" padded ","extra":true,"id":"dup"})j"
           "\n\"loose\"\nnull\n";
  return "id,amount,counterparty,note,tags,extra,value\r\n"
         "T1,12.50,\"'=HYPERLINK(\"\"http://x\"\")\",\"a, b\",,,\r\n"
         "T2,-3.10e2,-5.25,,\"[\"\"x\"\",{\"\"y\"\":null}]\",,\r\n"
         "T3,,,\" padded \",,true,\r\n"
         ",,,,,,loose\r\n"
         ",,,,,,\r\n";
}

class CliOutput : public CliTest {
 protected:
  void EnqueueTransactions() {
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(2, kPage0)));
    server.Enqueue(Reply(PageReply(2, kPage1)));
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
  }
  ScratchFolder folder;
};

TEST_F(CliOutput, EveryFormatOnStandardOutputAndInAFileAlike) {
  for (const std::string format : {"display", "compact", "ndjson", "csv"}) {
    SCOPED_TRACE(format);
    EnqueueTransactions();
    const Outcome printed = Transactions({"--format", format});
    EXPECT_EQ(printed.code, 0) << printed.err;
    EXPECT_EQ(printed.out, Expected(format));
    EXPECT_EQ(printed.err, "");

    const std::string file = folder.File("tx." + format);
    EnqueueTransactions();
    const Outcome written = Transactions({"--format", format, "--output", file});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.err, "");
    EXPECT_EQ(ReadWhole(file), Expected(format));

    // The accounts in one reply give the same text.
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + kAll + "}")));
    EXPECT_EQ(Service({"--format", format, "accounts"}).out, Expected(format));
  }
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"tx.compact", "tx.csv", "tx.display", "tx.ndjson"}));
}

TEST_F(CliOutput, CompactIsTheSameAsFormatCompactAndTheLastFormatWins) {
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--format", "csv", "--compact"}).out, Expected("compact"));
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--compact", "--format=ndjson"}).out, Expected("ndjson"));
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--output", "-", "--format", "display"}).out, Expected("display"));
}

TEST_F(CliOutput, NoRecordsGiveAnEmptyArrayOrNothing) {
  for (const std::string format : {"display", "compact", "ndjson", "csv"}) {
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(200, "OK", R"({"result":[]})")));
    const Outcome run = Service({"--format", format, "accounts"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::string empty = format == "display" ? "[\r\n]\n" : format == "compact" ? "[]\n" : "";
    EXPECT_EQ(run.out, empty) << format;
  }
}

TEST_F(CliOutput, ANewFileGetsMode0600AndAReplacedOneKeepsItsMode) {
  const mode_t umaskBefore = umask(0);  // the widest umask: 0600 must not come from it
  const std::string fresh = folder.File("new.csv");
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--format", "csv", "--output", fresh}).code, 0);
  EXPECT_EQ(ModeOf(fresh), 0600u);

  const std::string shared = folder.File("shared.json");
  WriteWhole(shared, "old");
  chmod(shared.c_str(), 0644);
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--output", shared}).code, 0);
  EXPECT_EQ(ModeOf(shared), 0644u);
  EXPECT_EQ(ReadWhole(shared), Expected("display"));
  umask(umaskBefore);

  // Through a symbolic link the file it names is replaced; the link stays.
  const std::string link = folder.File("latest.json");
  ASSERT_EQ(symlink("shared.json", link.c_str()), 0);
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--compact", "--output", link}).code, 0);
  EXPECT_EQ(ReadWhole(shared), Expected("compact"));
  struct stat status {};
  lstat(link.c_str(), &status);
  EXPECT_TRUE(S_ISLNK(status.st_mode));

  // A link to no file yet: the file it names is made, as a redirection
  // makes it, and the link stays a link.
  const std::string dangling = folder.File("today.json");
  ASSERT_EQ(symlink("made-today.json", dangling.c_str()), 0);
  EnqueueTransactions();
  EXPECT_EQ(Transactions({"--compact", "--output", dangling}).code, 0);
  EXPECT_EQ(ReadWhole(folder.File("made-today.json")), Expected("compact"));
  EXPECT_EQ(ModeOf(folder.File("made-today.json")), 0600u);
  lstat(dangling.c_str(), &status);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"latest.json", "made-today.json", "new.csv",
                                                      "shared.json", "today.json"}));
}

TEST_F(CliOutput, AFailedExportLeavesTheFileAsItWasAndNoTemporaryFile) {
  struct Case {
    const char* name;
    std::vector<std::string> replies;  // after the sign-in
    std::string error;
  };
  const Case cases[] = {
      {"first page",
       {HttpReply(404, "Not Found", {}, "gone")},
       "kestrava-cli: 404/Not Found - gone\n"},
      {"later page",
       {PageReply(3, kPage0), PageReply(3, kPage1),
        HttpReply(500, "Internal Server Error", {}, "boom")},
       "kestrava-cli: HTTP/1.1 500 Internal Server Error\nkestrava-cli: reply: boom\n"},
      {"unreadable page",
       {PageReply(2, kPage0), JsonReply(200, "OK", "[1]")},
       "kestrava-cli: StatusCode: 200 - OK\nkestrava-cli: reply: [1]\n"},
  };
  const std::string kept = folder.File("kept.csv");
  const std::string absent = folder.File("absent.csv");
  WriteWhole(kept, "yesterday's export\r\n");
  for (const Case& c : cases) {
    for (const std::string& file : {kept, absent}) {
      for (const std::string format : {"display", "csv"}) {
        SCOPED_TRACE(std::string(c.name) + " " + file + " " + format);
        server.Enqueue(Reply(TokenReply("tok-9")));
        for (const std::string& reply : c.replies) server.Enqueue(Reply(reply));
        const Outcome run = Transactions({"--format", format, "--output", file});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.error);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"kept.csv"});
      }
    }
  }
  EXPECT_EQ(ReadWhole(kept), "yesterday's export\r\n");
}

TEST_F(CliOutput, AFileThatCannotBeWrittenFailsBeforeAnyRequest) {
  WriteWhole(folder.File("plain"), "x");
  struct Case {
    std::string file;
    std::string reason;
  };
  std::vector<Case> cases = {
      {folder.File("missing/out.json"), "No such file or directory"},
      {folder.File("plain/out.json"), "Not a directory"},
      {folder.Path(), "Is a directory"},
  };
  const std::string locked = folder.File("locked");
  mkdir(locked.c_str(), 0500);
  if (geteuid() != 0) cases.push_back({locked + "/out.json", "Permission denied"});
  // A folder nobody may write in, root included.
  if (access("/sys/kernel", F_OK) == 0)
    cases.push_back({"/sys/kestrava-cli.json", "Permission denied"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Outcome run = Service({"--output", c.file, "accounts"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: cannot write " + c.file + ": " + c.reason + "\n");
  }
  EXPECT_EQ(server.Requests().size(), 0u);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"locked", "plain"}));
}

TEST_F(CliOutput, ADeviceGetsTheResultWholeAndAFullOneSaysSo) {
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + kAll + "}")));
  const Outcome run = Service({"--output", "/dev/null", "--format", "csv", "accounts"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");

  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + kAll + "}")));
  const Outcome full = Service({"--output", "/dev/full", "accounts"});
  EXPECT_EQ(full.code, 1);
  EXPECT_EQ(full.err, "kestrava-cli: cannot write /dev/full: No space left on device\n");
}

// Records whose member names all differ would make a column each, and
// every row a cell of every column: csv refuses past a thousand columns,
// before anything is written, and says what does write them.
TEST_F(CliOutput, CsvRefusesMoreThanAThousandColumnsAndNamesTheWayOut) {
  std::string records = "[";
  for (int i = 0; i <= 1000; ++i)
    records += (i > 0 ? ",{\"name" : "{\"name") + std::to_string(i) + "\":\"x\"}";
  records += "]";
  const std::string refusal =
      "kestrava-cli: more than 1000 columns: the records have too many distinct member names "
      "for csv; use --format ndjson\n";
  const std::string kept = folder.File("kept.csv");
  WriteWhole(kept, "yesterday's export\r\n");
  for (const std::vector<std::string>& output :
       {std::vector<std::string>{}, std::vector<std::string>{"--output", kept}}) {
    SCOPED_TRACE(output.empty() ? "standard output" : "a file");
    std::vector<std::string> options = {"--format", "csv"};
    options.insert(options.end(), output.begin(), output.end());
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(2, "[{\"first\":1}]")));
    server.Enqueue(Reply(PageReply(2, records)));
    const Outcome run = Transactions(options);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, refusal);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"kept.csv"});
    EXPECT_EQ(ReadWhole(kept), "yesterday's export\r\n");

    options.push_back("format");
    const Outcome formatted = Call(options, records);
    EXPECT_EQ(formatted.code, 1);
    EXPECT_EQ(formatted.out, "");
    EXPECT_EQ(formatted.err, refusal);
  }
  // ndjson writes them.
  const Outcome ndjson = Call({"--format", "ndjson", "format"}, records);
  EXPECT_EQ(ndjson.code, 0) << ndjson.err;
  EXPECT_EQ(std::count(ndjson.out.begin(), ndjson.out.end(), '\n'), 1001);
}

TEST_F(CliOutput, TheTokenAndFormatGoToTheFileToo) {
  const std::string token = folder.File("token");
  server.Enqueue(Reply(TokenReply("tok-file")));
  EXPECT_EQ(Service({"--output", token, "login"}).code, 0);
  EXPECT_EQ(ReadWhole(token), "tok-file\n");

  const std::string formatted = folder.File("formatted.csv");
  const Outcome run =
      Call({"--format", "csv", "--output", formatted, "format", "-"}, R"({"a":1,"b":"=x"})");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadWhole(formatted), "a,b\r\n1,'=x\r\n");
}

TEST_F(CliOutput, FormatTakesAValueThatIsNoArrayAsOneRecord) {
  struct Case {
    std::string input, format, output;
  };
  const Case cases[] = {
      {R"({"a":1})", "ndjson", "{\"a\":1}\n"},
      {R"({"a":1})", "csv", "a\r\n1\r\n"},
      {R"("text")", "csv", "value\r\ntext\r\n"},
      {R"(12.50)", "ndjson", "12.50\n"},
      {R"([1,[2]])", "ndjson", "1\n[2]\n"},
      {R"({"a":[1, 2]})", "compact", "{\"a\":[1,2]}\n"},
      {R"({"a":1})", "display", "{\r\n    \"a\": 1\r\n}\n"},
      {R"([])", "csv", ""},
  };
  for (const Case& c : cases) {
    const Outcome run = Call({"--format", c.format, "format"}, c.input);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, c.output) << c.input << " " << c.format;
  }
  // "--" ends the options: a file whose name begins with "-".
  WriteWhole(folder.File("-odd.json"), "[true]");
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(folder.Path());
  const Outcome odd = Call({"--compact", "format", "--", "-odd.json"});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(odd.code, 0) << odd.err;
  EXPECT_EQ(odd.out, "[true]\n");
}

TEST_F(CliOutput, TheSecretFromAFileOrStandardInput) {
  const std::string body = [] {
    return R"({"grant_type":"client_credentials","client_id":"id-1","client_secret":"from-file"})";
  }();
  struct Case {
    std::string content;  // of the file, or standard input for "-"
    bool fromInput;
  };
  const Case cases[] = {
      {"from-file\nsecond line\n", false},
      {"from-file\r\n", false},
      {"from-file", false},
      {"from-file\n", true},
      {"from-file\r\nrest", true},
  };
  environment["KESTRAVA_CLIENT_SECRET"] = "from-environment";  // the file wins
  const std::string file = folder.File("secret");
  WriteWhole(file, "");
  chmod(file.c_str(), 0600);  // a secret file of its owner's alone: no warning
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    if (!c.fromInput) WriteWhole(file, c.content);
    server.Enqueue(Reply(TokenReply("tok-9")));
    const Outcome run = Call({"--host", server.HostPort(), "--id", "id-1", "--secret-file",
                              c.fromInput ? "-" : file, "login"},
                             c.fromInput ? c.content : "");
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(server.Requests().back().body, body);
  }

  // Masked in failures like any secret.
  WriteWhole(file, "from-file\n");
  server.Enqueue(Reply(JsonReply(400, "Bad Request", "echo from-file")));
  const Outcome refused =
      Call({"--host", server.HostPort(), "--id", "id-1", "--secret-file", file, "login"});
  EXPECT_EQ(refused.err,
            "kestrava-cli: StatusCode: 400 - Bad Request\nkestrava-cli: reply: echo ********\n");

  // A file that cannot be read is a failure, before any request.
  const std::size_t requests = server.Requests().size();
  const std::string missing = folder.File("none");
  const Outcome unreadable =
      Call({"--host", server.HostPort(), "--id", "id-1", "--secret-file", missing, "login"});
  EXPECT_EQ(unreadable.code, 1);
  EXPECT_EQ(unreadable.err,
            "kestrava-cli: cannot read " + missing + ": No such file or directory\n");
  const Outcome folderSecret =
      Call({"--host", server.HostPort(), "--id", "id-1", "--secret-file", folder.Path(), "login"});
  EXPECT_EQ(folderSecret.code, 1);
  EXPECT_EQ(folderSecret.err, "kestrava-cli: cannot read " + folder.Path() + ": Is a directory\n");
  WriteWhole(file, std::string(70000, 'x'));
  const Outcome tooLong =
      Call({"--host", server.HostPort(), "--id", "id-1", "--secret-file", file, "login"});
  EXPECT_EQ(tooLong.code, 1);
  EXPECT_EQ(tooLong.err, "kestrava-cli: cannot read " + file + ": File too large\n");
  EXPECT_EQ(server.Requests().size(), requests);
}

TEST_F(CliOutput, LastIsTheRangeUpToNowFromOneClockReading) {
  struct Case {
    std::string hours, start, end;
  };
  const Case cases[] = {
      {"24", "2025-05-14T08:30:00.000Z", "2025-05-15T08:30:00.000Z"},
      {"1", "2025-05-15T07:30:00.000Z", "2025-05-15T08:30:00.000Z"},
      {"1000", "2025-04-03T16:30:00.000Z", "2025-05-15T08:30:00.000Z"},
  };
  localNow = EncodeDateTime(2025, 5, 15, 8, 30, 0, 0);
  for (const Case& c : cases) {
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(1, "[]")));
    const Outcome run = Service({"transactions", "--last", c.hours});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(server.Requests().back().target, std::string(kTransactionsPath) +
                                                   "?startDate=" + c.start + "&endDate=" + c.end +
                                                   "&pageNumber=0&pageSize=50");
  }
}

TEST_F(CliOutput, TimeoutBoundsEveryWaitTheSignInIncluded) {
  server.Enqueue(Reply().Pause(5s).Close());
  const auto start = std::chrono::steady_clock::now();
  const Outcome run = Service({"--timeout", "1", "login"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err.rfind("kestrava-cli: REST request failed: Error receiving data: (28) ", 0), 0u)
      << run.err;
}

}  // namespace
}  // namespace kestrava::testing
