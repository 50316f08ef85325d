// The range of the transactions: every form and the text the service
// receives for it, today and yesterday around midnight and on the days the
// clocks change (in a child process with its own time zone), and every
// range that is bad usage.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/RangeOptions.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using CliRange = CliTest;

// The query of the first page, from startDate on.
std::string Query(const std::string& start, const std::string& end) {
  return "startDate=" + start + "Z&endDate=" + end + "Z&pageNumber=0&pageSize=50";
}

TEST_F(CliRange, EachFormAndWhatTheServiceReceives) {
  struct Case {
    std::vector<std::string> range;
    std::string start, end;
    int clockReadings;
  };
  // The fixture's clock reads 2025-05-15 08:30:00.000.
  const Case cases[] = {
      {{"--from", "2026-12-01", "--to", "2026-12-31"},
       "2026-12-01T00:00:00.000",
       "2026-12-31T23:59:59.999",
       0},
      {{"--from", "2026-12-01T08:30", "--to", "2026-12-01"},
       "2026-12-01T08:30:00.000",
       "2026-12-01T23:59:59.999",
       0},
      {{"--from=2026-12-01", "--to=2026-12-01T00:00"},  // one moment: start and end meet
       "2026-12-01T00:00:00.000",
       "2026-12-01T00:00:00.000",
       0},
      {{"--from", "2026-12-01T23:59:59.999", "--to", "2026-12-01"},
       "2026-12-01T23:59:59.999",
       "2026-12-01T23:59:59.999",
       0},
      {{"--from", "2025-05-14T08:30:05.250", "--to", "2025-05-15T08:30:05"},
       "2025-05-14T08:30:05.250",
       "2025-05-15T08:30:05.000",
       0},
      {{"--day", "2024-02-29"}, "2024-02-29T00:00:00.000", "2024-02-29T23:59:59.999", 0},
      {{"--day", "0001-01-01"}, "0001-01-01T00:00:00.000", "0001-01-01T23:59:59.999", 0},
      {{"--day", "9999-12-31"}, "9999-12-31T00:00:00.000", "9999-12-31T23:59:59.999", 0},
      {{"--day=today"}, "2025-05-15T00:00:00.000", "2025-05-15T23:59:59.999", 1},
      {{"--day", "yesterday"}, "2025-05-14T00:00:00.000", "2025-05-14T23:59:59.999", 1},
      {{"--last", "1"}, "2025-05-15T07:30:00.000", "2025-05-15T08:30:00.000", 1},
      {{"--last", "24"}, "2025-05-14T08:30:00.000", "2025-05-15T08:30:00.000", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range[0] + " " + (c.range.size() > 1 ? c.range[1] : ""));
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(1, "[{\"id\":1}]")));
    nowReadings = 0;
    std::vector<std::string> args = {"--compact", "transactions"};
    args.insert(args.end(), c.range.begin(), c.range.end());
    const Outcome run = Service(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "[{\"id\":1}]\n");
    EXPECT_EQ(LastQuery(), Query(c.start, c.end));
    EXPECT_EQ(nowReadings, c.clockReadings);
  }
}

TEST_F(CliRange, TodayAndYesterdayAroundMidnightFromOneReadingOfTheClock) {
  struct Case {
    TDateTime now;
    std::string day, date;
  };
  const Case cases[] = {
      {EncodeDateTime(2025, 12, 31, 23, 59, 59, 999), "today", "2025-12-31"},
      {EncodeDateTime(2025, 12, 31, 23, 59, 59, 999), "yesterday", "2025-12-30"},
      {EncodeDateTime(2026, 1, 1, 0, 0, 0, 0), "today", "2026-01-01"},
      {EncodeDateTime(2026, 1, 1, 0, 0, 0, 0), "yesterday", "2025-12-31"},
      {EncodeDateTime(2024, 3, 1, 0, 0, 0, 0), "yesterday", "2024-02-29"},
      {EncodeDateTime(2024, 3, 1, 0, 0, 0, 1), "today", "2024-03-01"},
      {EncodeDateTime(2024, 2, 29, 23, 59, 59, 999), "today", "2024-02-29"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.day + " " + c.date);
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(1, "[]")));
    localNow = c.now;
    nowReadings = 0;
    const Outcome run = Service({"transactions", "--day", c.day});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(LastQuery(), Query(c.date + "T00:00:00.000", c.date + "T23:59:59.999"));
    EXPECT_EQ(nowReadings, 1);
  }
}

// Seconds since 1970-01-01 00:00 UTC.
std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second) {
  return DaysFromCivil(year, month, day) * 86'400 + hour * 3'600 + minute * 60 + second;
}

TEST_F(CliRange, TheDaysTheClocksChangeInAChildProcessWithItsOwnTimeZone) {
  const char* const zone = "Europe/Bucharest";  // EET, UTC+2; EEST, UTC+3 in summer
  ASSERT_TRUE(std::filesystem::exists(std::string("/usr/share/zoneinfo/") + zone))
      << "the time zone data (Debian tzdata) is missing";
  struct Case {
    int year, month, day, hour, minute, second, millisecond;  // UTC
    std::vector<std::string> range;
    std::string start, end;  // local wall clock, as the service receives it
  };
  const std::vector<std::string> today = {"--day", "today"}, yesterday = {"--day", "yesterday"},
                                 last24 = {"--last", "24"};
  const Case cases[] = {
      // 29 March 2026: 03:00 EET becomes 04:00 EEST, a day of 23 hours.
      {2026, 3, 28, 21, 59, 59, 999, today, "2026-03-28T00:00:00.000", "2026-03-28T23:59:59.999"},
      {2026, 3, 28, 22, 0, 0, 0, today, "2026-03-29T00:00:00.000", "2026-03-29T23:59:59.999"},
      {2026, 3, 28, 22, 0, 0, 0, yesterday, "2026-03-28T00:00:00.000", "2026-03-28T23:59:59.999"},
      {2026, 3, 29, 0, 59, 59, 999, today, "2026-03-29T00:00:00.000", "2026-03-29T23:59:59.999"},
      {2026, 3, 29, 1, 0, 0, 0, today, "2026-03-29T00:00:00.000", "2026-03-29T23:59:59.999"},
      {2026, 3, 29, 20, 59, 59, 999, today, "2026-03-29T00:00:00.000", "2026-03-29T23:59:59.999"},
      {2026, 3, 29, 21, 0, 0, 0, today, "2026-03-30T00:00:00.000", "2026-03-30T23:59:59.999"},
      {2026, 3, 29, 21, 0, 0, 0, yesterday, "2026-03-29T00:00:00.000", "2026-03-29T23:59:59.999"},
      // 24 hours of the wall clock back from 00:30 EEST on the 30th.
      {2026, 3, 29, 21, 30, 0, 0, last24, "2026-03-29T00:30:00.000", "2026-03-30T00:30:00.000"},
      // 25 October 2026: 04:00 EEST becomes 03:00 EET, a day of 25 hours.
      {2026, 10, 24, 20, 59, 59, 999, today, "2026-10-24T00:00:00.000", "2026-10-24T23:59:59.999"},
      {2026, 10, 24, 21, 0, 0, 0, today, "2026-10-25T00:00:00.000", "2026-10-25T23:59:59.999"},
      {2026, 10, 25, 0, 30, 0, 0, today, "2026-10-25T00:00:00.000", "2026-10-25T23:59:59.999"},
      {2026, 10, 25, 1, 30, 0, 0, today, "2026-10-25T00:00:00.000", "2026-10-25T23:59:59.999"},
      {2026, 10, 25, 1, 30, 0, 0, last24, "2026-10-24T03:30:00.000", "2026-10-25T03:30:00.000"},
      {2026, 10, 25, 21, 59, 59, 999, today, "2026-10-25T00:00:00.000", "2026-10-25T23:59:59.999"},
      {2026, 10, 25, 22, 0, 0, 0, today, "2026-10-26T00:00:00.000", "2026-10-26T23:59:59.999"},
      {2026, 10, 25, 22, 0, 0, 0, yesterday, "2026-10-25T00:00:00.000", "2026-10-25T23:59:59.999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.month) + "-" + std::to_string(c.day) + " " +
                 std::to_string(c.hour) + ":" + std::to_string(c.minute) + " UTC " + c.range[1]);
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(PageReply(1, "[]")));
    // The child reads its clock as the program does, in its own time zone,
    // and runs the command against this process's server. A child forked
    // while the server's thread holds a lock (the sanitizers' allocator)
    // can hang before it sends anything: it is killed after a bounded wait
    // and forked once more, so the test never waits without end.
    const auto runChild = [&] {
      const pid_t child = fork();
      if (child == 0) {
        setenv("TZ", zone, 1);
        tzset();
        localNow = LocalDateTimeOf(UtcSeconds(c.year, c.month, c.day, c.hour, c.minute, c.second),
                                   c.millisecond);
        std::vector<std::string> args = {"transactions"};
        args.insert(args.end(), c.range.begin(), c.range.end());
        _exit(Service(args).code);
      }
      return child;
    };
    const std::size_t requestsBefore = server.Requests().size();
    int status = -1;
    for (int attempt = 0; attempt < 2 && status == -1; ++attempt) {
      const pid_t child = runChild();
      ASSERT_GE(child, 0);
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      int raw = 0;
      pid_t done = 0;
      while ((done = waitpid(child, &raw, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (done == child) {
        status = raw;
      } else if (server.Requests().size() == requestsBefore) {
        kill(child, SIGKILL);  // hung before its first request: fork again
        waitpid(child, &raw, 0);
      } else {
        kill(child, SIGKILL);
        waitpid(child, &raw, 0);
        status = raw;
      }
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(LastQuery(), Query(c.start, c.end));
  }
}

TEST_F(CliRange, RangesThatAreBadUsageSaySoAndSendNothing) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string whole = "--day is a whole range: give it without --from, --to and --last";
  const std::string noDate = "needs a date that exists in years 0001 to 9999";
  const Case cases[] = {
      {{"transactions"}, "transactions needs --from and --to, --day or --last"},
      {{"transactions", "--to", "2026-12-01"},
       "transactions needs --from and --to, --day or --last"},
      {{"transactions", "--day", "today", "--from", "2025-05-14"}, whole},
      {{"transactions", "--to", "2025-05-14", "--day", "2025-05-14"}, whole},
      {{"transactions", "--day", "yesterday", "--last", "24"}, whole},
      {{"transactions", "--from", "2026-12-02", "--to", "2026-12-01"},
       "the range starts after it ends: --from is 2026-12-02T00:00:00.000, --to "
       "2026-12-01T23:59:59.999"},
      {{"transactions", "--from", "2026-12-01T10:00", "--to", "2026-12-01T09:59:59.999"},
       "the range starts after it ends: --from is 2026-12-01T10:00:00.000, --to "
       "2026-12-01T09:59:59.999"},
      {{"transactions", "--last", "0"},
       "option --last needs a whole number of hours from 1 to 876000, not \"0\""},
      {{"transactions", "--day", "tomorrow"},
       "option --day needs a date YYYY-MM-DD, today or yesterday, not \"tomorrow\""},
      {{"transactions", "--day", "Today"},
       "option --day needs a date YYYY-MM-DD, today or yesterday, not \"Today\""},
      {{"transactions", "--day", ""},
       "option --day needs a date YYYY-MM-DD, today or yesterday, not \"\""},
      {{"transactions", "--day", "2026-12-01T00:00"},
       "option --day needs a date YYYY-MM-DD, today or yesterday, not \"2026-12-01T00:00\""},
      {{"transactions", "--day", "2026-02-29"}, "option --day " + noDate + ", not \"2026-02-29\""},
      {{"transactions", "--from", "2026-02-29", "--to", "2026-03-01"},
       "option --from " + noDate + ", not \"2026-02-29\""},
      {{"transactions", "--from", "2026-12-01", "--to", "0000-12-31"},
       "option --to " + noDate + ", not \"0000-12-31\""},
      {{"transactions", "--from", "2026-12-1", "--to", "2026-12-31"},
       "option --from needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD, not "
       "\"2026-12-1\""},
      {{"transactions", "--from", "2026-12-01T", "--to", "2026-12-31"},
       "option --from needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD, not "
       "\"2026-12-01T\""},
      {{"accounts", "--day", "today"},
       "--to, --day and --last belong to the transactions and history commands"},
      // history transactions takes the same forms, or none for the whole
      // history; sync takes a start alone.
      {{"history", "transactions", "--from", "2026-12-02", "--to", "2026-12-01"},
       "the range starts after it ends: --from is 2026-12-02T00:00:00.000, --to "
       "2026-12-01T23:59:59.999"},
      {{"history", "transactions", "--last", "0"},
       "option --last needs a whole number of hours from 1 to 876000, not \"0\""},
      {{"history", "transactions", "--day", "yesterday", "--to", "2026-12-01"}, whole},
      {{"history", "transactions", "--to", "2026-12-01"},
       "history transactions needs --from and --to, --day or --last, or none of them"},
      {{"history", "transactions", "--from", "2026-12-1"},
       "option --from needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD, not "
       "\"2026-12-1\""},
      {{"history", "accounts", "--day", "today"},
       "history accounts takes no range, --account or --partial"},
      {{"sync", "--from", "2026-02-29"}, "option --from " + noDate + ", not \"2026-02-29\""},
      {{"sync", "--from", "2026-12-01", "--to", "2026-12-31"},
       "--to, --day and --last belong to the transactions and history commands"},
      {{"sync", "--last", "24"},
       "--to, --day and --last belong to the transactions and history commands"},
      {{"status", "--from", "2026-12-01"},
       "--from and --account belong to the transactions, history and sync commands"},
  };
  for (const Case& c : cases) {
    const Outcome run = Call(c.args);
    EXPECT_EQ(run.code, 2) << c.message;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: " + c.message +
                           "\nkestrava-cli: try 'kestrava-cli --help' for more information\n");
  }
  EXPECT_EQ(server.Requests().size(), 0u);
  EXPECT_EQ(nowReadings, 0);
}

TEST(RangeOptions, ACommandWhoseRangeIsOptionalTakesNoneOrAWholeOne) {
  using cli::CheckRange;
  cli::RangeArguments range;
  EXPECT_EQ(CheckRange(range, "history", true), "");
  EXPECT_EQ(CheckRange(range, "history"), "history needs --from and --to, --day or --last");
  range.to = EncodeDateTime(2026, 12, 1, 0, 0, 0, 0);
  EXPECT_EQ(CheckRange(range, "history", true),
            "history needs --from and --to, --day or --last, or none of them");
  range.from = range.to;
  EXPECT_EQ(CheckRange(range, "history", true), "");
  range.lastHours = 24;
  EXPECT_EQ(CheckRange(range, "history", true),
            "give the range either with --from and --to or with --last, not both");
}

}  // namespace
}  // namespace kestrava::testing
