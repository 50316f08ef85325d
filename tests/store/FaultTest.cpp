// Faults around a sync: another sync at the same time, a killed process, a
// full disk, a store or folder that cannot be written, a store deleted
// while a sync writes to it. Each gives a clear failure, the store stays
// consistent, and the next sync finishes the work.

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "store/PageWriter.h"
#include "store/Store.h"
#include "tests/store/StoreFixture.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;
using store::EStoreError;

constexpr int kPerPage = 50;

// Page `page` of a made-up export: kPerPage records with ids of their own.
std::string NumberedPage(int page) {
  std::vector<std::string> records;
  for (int i = 0; i < kPerPage; ++i) {
    const int n = page * kPerPage + i;
    records.push_back(
        Tx("T" + std::to_string(n), "2026-01-0" + std::to_string(1 + n % 9), 1 + n % 3,
           R"(,"description":"Plată furnizor conform facturii nr. )" + std::to_string(n) + "\"}"));
    records.back().pop_back();
  }
  return Join(records);
}

std::string Message(const std::function<void()>& action) {
  try {
    action();
  } catch (const EStoreError& e) {
    return e.Message();
  }
  return "no failure";
}

// Runs `work` in a child process and gives what it returned; the child is
// killed after a bound.
std::string InChild(const std::function<std::string()>& work) {
  int ends[2];
  if (pipe(ends) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    std::string result;
    try {
      result = work();
    } catch (const std::exception& e) {
      result = std::string("exception: ") + e.what();
    }
    if (write(ends[1], result.data(), result.size()) < 0) _exit(2);
    _exit(0);
  }
  close(ends[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return out;
}

// In a child that writes pages until it is killed: the pages written
// before the kill, as the child reported them.
int KillMidSync(const std::string& path, const store::TSource& source, store::TTimeRange range,
                int pagesBeforeKill) {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    const auto store = store::OpenStore({.Path = path, .Create = true});
    auto session = store->BeginSync(source, range, 0);
    for (int page = 0;; ++page) {
      session->AddPage(*Page(NumberedPage(page)));
      if (write(ends[1], "p", 1) != 1) _exit(2);
    }
  }
  close(ends[1]);
  int reported = 0;
  char byte;
  while (reported < pagesBeforeKill && read(ends[0], &byte, 1) == 1) ++reported;
  kill(child, SIGKILL);  // somewhere within the next page
  int status = 0;
  waitpid(child, &status, 0);
  close(ends[0]);
  return reported;
}

using StoreFault = StoreTest;

TEST_F(StoreFault, ASecondSyncWaitsForTheFirstThenSaysTheStoreIsBusy) {
  const auto first = Open();
  const auto second = store::OpenStore({.Path = path, .BusyWait = 200ms});
  auto running = first->BeginSync(source, january, 0);
  running->AddPage(*Page(Join({Tx("A", "2026-01-01")})));

  EXPECT_EQ(Message([&] { second->BeginSync(source, january, 0); }),
            "the store " + path + " is busy: another sync did not end within 200 ms");
  // Readers do not wait, and see what the running sync has committed.
  EXPECT_EQ(History(*second, source).size(), 1u);
  const store::TSourceStatus status = second->Status(source);
  ASSERT_TRUE(status.LastRun);
  EXPECT_EQ(status.LastRun->Outcome, store::TRunOutcome::Running);
  EXPECT_EQ(status.LastRun->Counts.Pages, 1);

  // A sync that waits long enough begins once the first one ends.
  const auto patient = store::OpenStore({.Path = path, .BusyWait = 20s});
  std::thread finisher([&] {
    std::this_thread::sleep_for(100ms);
    running->Succeed();
    running.reset();
  });
  std::unique_ptr<store::TSyncSession> next;
  EXPECT_NO_THROW(next = patient->BeginSync(source, january, 0));
  finisher.join();
  if (next) next->Succeed();
  EXPECT_EQ(Sqlite3(path, "SELECT id, outcome FROM sync_runs ORDER BY id;"),
            "1|success\n2|success\n");
}

TEST_F(StoreFault, AKilledSyncLeavesWholePagesAndTheNextSyncFinishesTheWork) {
  const int reported = KillMidSync(path, source, january, 20);
  ASSERT_EQ(reported, 20);
  EXPECT_EQ(Sqlite3(path, "PRAGMA integrity_check;"), "ok\n");
  // Every committed page is whole, and the run's progress says exactly so.
  const std::string progress = Sqlite3(path, "SELECT pages, records_read, outcome FROM sync_runs;");
  int pages = 0, read = 0;
  char outcome[32] = {};
  ASSERT_EQ(std::sscanf(progress.c_str(), "%d|%d|%31s", &pages, &read, outcome), 3) << progress;
  EXPECT_GE(pages, 20);
  EXPECT_EQ(read, pages * kPerPage);
  EXPECT_EQ(std::string(outcome), "running");
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM transactions;"),
            std::to_string(pages * kPerPage) + "\n");

  // The lock died with the process: the next sync begins at once.
  const auto store = store::OpenStore({.Path = path, .BusyWait = 0ms});
  EXPECT_EQ(store->Status(source).LastRun->Outcome, store::TRunOutcome::Interrupted);
  std::vector<std::string> all;
  for (int page = 0; page < pages + 5; ++page) all.push_back(NumberedPage(page));
  const store::TSyncCounts counts = Sync(*store, all, january);
  EXPECT_EQ(counts.Unchanged, pages * kPerPage);
  EXPECT_EQ(counts.New, 5 * kPerPage);
  EXPECT_TRUE(store->IsCovered(source, 0, january));
  EXPECT_EQ(Sqlite3(path, "SELECT id, outcome FROM sync_runs ORDER BY id;"),
            "1|interrupted\n2|success\n");
  EXPECT_EQ(Sqlite3(path, "PRAGMA integrity_check;"), "ok\n");
}

TEST_F(StoreFault, AFullDiskFailsThePageInFlightAndKeepsTheOthers) {
  { Open(); }
  const std::string failure = InChild([&] {
    // Files may not grow past 256 KiB: writes beyond fail as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const auto store = Open(false);
    auto session = store->BeginSync(source, january, 0);
    std::string message = "no failure";
    for (int page = 0; page < 400; ++page) {
      try {
        session->AddPage(*Page(NumberedPage(page)));
      } catch (const EStoreError& e) {
        message = e.Message();
        break;
      }
    }
    // After a failed page nothing more is written.
    message += "|" + Message([&] { session->AddPage(*Page(NumberedPage(0))); });
    session->Fail(message);
    return message;
  });
  // SQLite sees a short write, with no system error to tell.
  EXPECT_EQ(failure, "cannot write to the store " + path + ": disk I/O error|" +
                         "cannot write to the store " + path + ": the sync has ended");
  EXPECT_EQ(Sqlite3(path, "PRAGMA integrity_check;"), "ok\n");
  const std::string progress = Sqlite3(path, "SELECT pages, records_read FROM sync_runs;");
  int pages = 0, read = 0;
  ASSERT_EQ(std::sscanf(progress.c_str(), "%d|%d", &pages, &read), 2) << progress;
  EXPECT_GT(pages, 0);
  EXPECT_EQ(read, pages * kPerPage);
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM transactions;"),
            std::to_string(pages * kPerPage) + "\n");
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM coverage;"), "0\n");

  // With room again, the next sync finishes the work.
  const auto store = Open(false);
  std::vector<std::string> all;
  for (int page = 0; page <= pages; ++page) all.push_back(NumberedPage(page));
  const store::TSyncCounts counts = Sync(*store, all, january);
  EXPECT_EQ(counts.Unchanged, pages * kPerPage);
  EXPECT_EQ(counts.New, kPerPage);
  EXPECT_TRUE(store->IsCovered(source, 0, january));
}

// Runs `work` in a child as the owner of the folder's files: when the tests
// run as root (who may write anything), the files are given to the user
// nobody and the child runs as that user.
std::string AsTheOwner(const ScratchFolder& folder, const std::function<std::string()>& work) {
  constexpr uid_t kNobody = 65534;
  if (geteuid() == 0) {
    if (chown(folder.Path().c_str(), kNobody, kNobody) != 0) return "cannot give the files away";
    for (const std::string& name : folder.Names())
      if (chown(folder.File(name).c_str(), kNobody, kNobody) != 0)
        return "cannot give the files away";
  }
  return InChild([&]() -> std::string {
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      return "cannot drop privileges";
    return work();
  });
}

TEST_F(StoreFault, AStoreOrFolderThatCannotBeWrittenFailsClearlyAndStaysAsItWas) {
  struct Case {
    const char* name;
    mode_t folderMode, fileMode;
    std::string message;
  } cases[] = {
      {"a read-only store", 0700, 0400,
       "cannot write to the store " + path + ": attempt to write a readonly database"},
      {"a read-only folder", 0500, 0600,
       "cannot open the store " + path +
           ": attempt to write a readonly database (its folder cannot be written)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    chmod(folder.Path().c_str(), 0700);
    for (const std::string& name : folder.Names()) std::remove(folder.File(name).c_str());
    {
      const auto store = Open();
      Sync(*store, {NumberedPage(0)}, january);
    }
    chmod(path.c_str(), c.fileMode);
    chmod(folder.Path().c_str(), c.folderMode);
    const std::string sum = Checksum(path);
    const std::string failure = AsTheOwner(folder, [&] {
      return Message([&] {
        const auto store = store::OpenStore({.Path = path});
        Sync(*store, {NumberedPage(1)}, january);
      });
    });
    if (failure.starts_with("cannot drop") || failure.starts_with("cannot give"))
      GTEST_SKIP() << failure;
    EXPECT_EQ(failure, c.message);
    EXPECT_EQ(Checksum(path), sum);
    chmod(folder.Path().c_str(), 0700);
    chmod(path.c_str(), 0600);
    const auto store = Open(false);
    EXPECT_EQ(History(*store, source).size(), static_cast<std::size_t>(kPerPage));
    EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*), MAX(outcome) FROM sync_runs;"), "1|success\n");
  }
}

TEST_F(StoreFault, AStoreDeletedOrReplacedWhileASyncWritesIsNeverReportedWritten) {
  for (const bool replaced : {false, true}) {
    SCOPED_TRACE(replaced ? "replaced" : "deleted");
    {
      const auto store = Open();
      auto session = store->BeginSync(source, january, 0);
      session->AddPage(*Page(NumberedPage(0)));
      for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
      if (replaced) WriteWhole(path, "");
      EXPECT_EQ(
          Message([&] { session->AddPage(*Page(NumberedPage(1))); }),
          "cannot write to the store " + path + ": it was deleted or replaced while the sync ran");
      EXPECT_EQ(Message([&] { session->Succeed(); }),
                "cannot write to the store " + path + ": the sync has ended");
      EXPECT_FALSE(session->Fail("gone"));
    }
    {
      // The next sync makes the store again and finishes the work.
      const auto store = Open();
      EXPECT_EQ(Sync(*store, {NumberedPage(0), NumberedPage(1)}, january).New, 2 * kPerPage);
      EXPECT_EQ(Sqlite3(path, "PRAGMA integrity_check;"), "ok\n");
    }
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
}

// Pages written on a thread of their own: a page that fails fails the next
// hand-over, or the finish when it was the last, with its own text; the
// pages before it stay written and nothing after it is.
TEST_F(StoreFault, APageThatFailsOnTheWritersThreadFailsTheNextStepWithItsOwnText) {
  const std::string gone =
      "cannot write to the store " + path + ": it was deleted or replaced while the sync ran";
  for (const bool last : {false, true}) {
    SCOPED_TRACE(last ? "the last page" : "a page before the next");
    const auto store = Open();
    auto session = store->BeginSync(source, january, 0);
    {
      store::TPageWriter writer(*session);
      writer.Add(*Page(NumberedPage(0)));
      writer.Finish();
      EXPECT_EQ(session->Counts().Pages, 1);
      for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
      writer.Add(*Page(NumberedPage(1)));  // handed over: it fails on the writer's thread
      if (!last) {
        EXPECT_EQ(Message([&] { writer.Add(*Page(NumberedPage(2))); }), gone);
      }
      EXPECT_EQ(Message([&] { writer.Finish(); }), gone);
      EXPECT_EQ(Message([&] { writer.Add(*Page(NumberedPage(3))); }), gone);
    }
    EXPECT_EQ(session->Counts().Pages, 1);
    EXPECT_EQ(Message([&] { session->Succeed(); }),
              "cannot write to the store " + path + ": the sync has ended");
  }

  // On a full disk: every page before the failed one is in the store.
  { Open(); }
  const std::string failure = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    const auto store = Open(false);
    auto session = store->BeginSync(source, january, 0);
    store::TPageWriter writer(*session);
    for (int page = 0; page < 400; ++page) {
      const std::string message = Message([&] { writer.Add(*Page(NumberedPage(page))); });
      if (message != "no failure") return message + "|" + Message([&] { writer.Finish(); });
    }
    return std::string("no failure");
  });
  const std::string full = "cannot write to the store " + path + ": disk I/O error";
  EXPECT_EQ(failure, full + "|" + full);
  EXPECT_EQ(Sqlite3(path, "PRAGMA integrity_check;"), "ok\n");
  const std::string progress =
      Sqlite3(path, "SELECT pages FROM sync_runs ORDER BY id DESC LIMIT 1;");
  const int pages = std::atoi(progress.c_str());
  EXPECT_GT(pages, 0);
  EXPECT_EQ(Sqlite3(path, "SELECT COUNT(*) FROM transactions;"),
            std::to_string(pages * kPerPage) + "\n");
}

}  // namespace
}  // namespace kestrava::testing
