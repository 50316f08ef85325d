// kestrava-cli's sync as a program against kestrava-sandbox as a program,
// when things go wrong around the store: a second sync at the same time, a
// sync killed, a store deleted under it, a full disk, a store or folder
// that cannot be written. Each gives a clear failure, leaves the store
// consistent, and the next sync finishes the work.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "datetime/DateTime.h"
#include "datetime/FormatSettings.h"
#include "sandbox/SandboxService.h"
#include "tests/cli/Process.h"

namespace kestrava::testing {
namespace {

using namespace std::chrono_literals;

// How long a test waits at most for something a running sync does.
constexpr auto kPatience = 30s;

std::string TimeArg(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz", value, TFormatSettings{});
}

std::string Sqlite3(const std::string& db, const std::string& sql) {
  const ProcessResult run = RunProcess({"/usr/bin/sqlite3", "-readonly", db, sql}, {});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return run.out;
}

class SyncFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrava-cli-sync-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    db = folder_ + "/store/kestrava.db";
  }
  void TearDown() override {
    sandbox_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // A sandbox with a day of 2,000 transactions: some 40 pages a day, each
  // reply `latencyMs` late.
  void StartSandbox(int latencyMs) {
    sandbox_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{KESTRAVA_SANDBOX_PATH, "--quiet", "--state-dir",
                                 folder_ + "/sandbox", "--transactions-per-day", "2000", "--days",
                                 "3", "--latency", std::to_string(latencyMs)},
        std::vector<std::string>{});
    const std::string line = sandbox_->ReadLine(kPatience);
    const std::string prefix = "kestrava-sandbox: host ";
    const std::size_t ca = line.find(" ca ");
    ASSERT_TRUE(line.rfind(prefix, 0) == 0 && ca != std::string::npos) << line;
    host_ = line.substr(prefix.size(), ca - prefix.size());
    caFile_ = line.substr(ca + 4);
  }

  std::vector<std::string> Environment(std::vector<std::string> more = {}) const {
    more.insert(
        more.end(),
        {"SSL_CERT_FILE=" + caFile_, std::string("KESTRAVA_CLIENT_ID=") + sandbox::kDefaultClientId,
         std::string("KESTRAVA_CLIENT_SECRET=") + sandbox::kDefaultClientSecret, "LC_ALL=C"});
    return more;
  }
  std::vector<std::string> Argv(std::vector<std::string> args) const {
    args.insert(args.begin(), {KESTRAVA_CLI_PATH, "--host", host_, "--db", db});
    return args;
  }
  ProcessResult Cli(std::vector<std::string> args, std::vector<std::string> environment = {}) {
    return RunProcess(Argv(std::move(args)), Environment(std::move(environment)), "", 120s);
  }
  // A sync running on its own, from `from`.
  std::unique_ptr<ChildProcess> StartSync(const std::string& from) {
    return std::make_unique<ChildProcess>(Argv({"sync", "--from", from}), Environment());
  }

  // Waits until `done` holds, polling; false when it did not in time.
  template <class Done>
  static bool Await(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
  // The pages the running sync has written.
  int PagesWritten() {
    if (!std::filesystem::exists(db)) return 0;
    const ProcessResult run =
        RunProcess({"/usr/bin/sqlite3", "-readonly", db, "SELECT MAX(pages) FROM sync_runs"}, {});
    return run.exitCode == 0 ? std::atoi(run.out.c_str()) : 0;
  }

  // The store is whole and covers nothing.
  void ExpectWholeAndUncovered() {
    EXPECT_EQ(Sqlite3(db, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM coverage"), "0\n");
  }
  // `sync` from `from` finishes the work: what history then prints is what
  // the service prints.
  void ExpectTheNextSyncFinishes(const std::string& from) {
    const ProcessResult next = Cli({"sync", "--from", from});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    const std::string to = next.out.substr(next.out.rfind(" to ") + 4, 23);
    const ProcessResult stored =
        Cli({"--format", "ndjson", "history", "transactions", "--from", from, "--to", to});
    const ProcessResult service =
        Cli({"--format", "ndjson", "transactions", "--from", from, "--to", to});
    EXPECT_EQ(stored.exitCode, 0) << stored.err;
    EXPECT_GT(stored.out.size(), 0u);
    EXPECT_EQ(stored.out, service.out);
  }

  std::string db;
  std::string From(int hoursBack) const { return TimeArg(IncHour(Now(), -hoursBack)); }
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_, host_, caFile_;
  std::unique_ptr<ChildProcess> sandbox_;
};

// True while some process holds the store's sync lock.
bool Locked(const std::string& db) {
  const int file = open((db + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  const bool held = flock(file, LOCK_SH | LOCK_NB) != 0;
  close(file);
  return held;
}

TEST_F(SyncFaultTest, ASecondSyncWaitsThenFailsAsBusyWhileHistoryAndStatusDoNotWait) {
  StartSandbox(100);
  const std::string from = From(20);
  const std::unique_ptr<ChildProcess> first = StartSync(from);
  ASSERT_TRUE(Await([&] { return PagesWritten() >= 1; }));
  ASSERT_TRUE(Locked(db));

  const ProcessResult second = Cli({"sync", "--from", from}, {"KESTRAVA_SYNC_WAIT=1"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err,
            "kestrava-cli: the store " + db + " is busy: another sync did not end within 1 s\n");
  // Readers read the pages committed so far, and the run as running.
  const ProcessResult status = Cli({"--format", "ndjson", "status"});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_NE(status.out.find("\"lastRun\":{\"run\":1,\"outcome\":\"running\""), std::string::npos)
      << status.out;
  const ProcessResult partial = Cli({"--format", "ndjson", "history", "transactions", "--partial"});
  EXPECT_EQ(partial.exitCode, 0) << partial.err;
  EXPECT_GE(partial.out.size(), 50u);
  const ProcessResult covered = Cli({"history", "transactions", "--last", "1"});
  EXPECT_EQ(covered.exitCode, 1);
  EXPECT_TRUE(Locked(db));  // all that while the first sync went on

  const ProcessResult done = first->Wait(120s);
  EXPECT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(done.out.rfind("sync: 4 accounts, ", 0), 0u) << done.out;
  // Only the busy one failed, and it changed nothing.
  EXPECT_EQ(Sqlite3(db, "SELECT id, outcome FROM sync_runs ORDER BY id"), "1|success\n");
}

TEST_F(SyncFaultTest, ASyncKilledMidRunLeavesAConsistentStoreThatTheNextSyncCompletes) {
  StartSandbox(100);
  const std::string from = From(20);
  const std::unique_ptr<ChildProcess> sync = StartSync(from);
  ASSERT_TRUE(Await([&] { return PagesWritten() >= 3; }));
  sync->Signal(SIGKILL);
  sync->Wait(kPatience);
  EXPECT_FALSE(Locked(db));
  const std::string pages = Sqlite3(db, "SELECT pages FROM sync_runs");
  EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM transactions"),
            std::to_string(std::atoi(pages.c_str()) * 50) + "\n");
  // status sees the lock free: the run was cut short.
  const ProcessResult status = Cli({"status"});
  EXPECT_NE(status.out.find("last run: run 1, interrupted, started "), std::string::npos)
      << status.out;
  ExpectWholeAndUncovered();
  ExpectTheNextSyncFinishes(from);
  EXPECT_EQ(Sqlite3(db, "SELECT outcome FROM sync_runs ORDER BY id"), "interrupted\nsuccess\n");
}

TEST_F(SyncFaultTest, AStoreDeletedUnderARunningSyncFailsItAndTheNextSyncStartsAgain) {
  StartSandbox(100);
  const std::string from = From(20);
  const std::unique_ptr<ChildProcess> sync = StartSync(from);
  ASSERT_TRUE(Await([&] { return PagesWritten() >= 2; }));
  std::filesystem::remove(db);
  const ProcessResult failed = sync->Wait(120s);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(failed.err, "kestrava-cli: cannot write to the store " + db +
                            ": it was deleted or replaced while the sync ran\n");
  EXPECT_FALSE(std::filesystem::exists(db));
  std::filesystem::remove(db + "-wal");
  std::filesystem::remove(db + "-shm");
  ExpectTheNextSyncFinishes(from);
}

TEST_F(SyncFaultTest, AFullDiskFailsTheSyncClearlyAndKeepsTheStoreWhole) {
  StartSandbox(0);
  const std::string from = From(40);
  // A first, small sync makes the store; the full one then runs out of room.
  ASSERT_EQ(Cli({"sync", "--from", From(1)}).exitCode, 0);
  const std::uint64_t size = std::filesystem::file_size(db);
  // The file size limit (in 512-byte blocks for sh's ulimit) as a full disk;
  // SIGXFSZ ignored, so that a write fails with EFBIG.
  const std::string blocks = std::to_string(size / 512 + 200);
  std::vector<std::string> argv = {"/bin/sh", "-c",
                                   "trap '' XFSZ; ulimit -f " + blocks + "; exec \"$@\"", "sh"};
  for (const std::string& arg : Argv({"sync", "--from", from})) argv.push_back(arg);
  const ProcessResult full = RunProcess(argv, Environment(), "", 120s);
  EXPECT_EQ(full.exitCode, 1);
  EXPECT_EQ(full.out, "");
  EXPECT_EQ(full.err.rfind("kestrava-cli: cannot write to the store " + db + ": ", 0), 0u)
      << full.err;
  EXPECT_EQ(Sqlite3(db, "PRAGMA integrity_check"), "ok\n");
  // The first sync's range is all that is covered.
  EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM coverage"), "1\n");
  const ProcessResult next = Cli({"sync", "--from", from});
  ASSERT_EQ(next.exitCode, 0) << next.err;
  const std::string to = next.out.substr(next.out.rfind(" to ") + 4, 23);
  EXPECT_EQ(Cli({"--format", "csv", "history", "transactions", "--from", from, "--to", to}).out,
            Cli({"--format", "csv", "transactions", "--from", from, "--to", to}).out);
}

TEST_F(SyncFaultTest, AStoreOrFolderThatCannotBeWrittenFailsTheSyncAndStaysReadable) {
  StartSandbox(0);
  ASSERT_EQ(Cli({"sync", "--from", From(5)}).exitCode, 0);
  const std::string folder = std::filesystem::path(db).parent_path().string();
  const std::string bytes = Sqlite3(db, "SELECT * FROM transactions");
  // As root, modes stop no one: the program then runs as nobody.
  const bool root = geteuid() == 0;
  const auto as = [&](std::vector<std::string> args) {
    std::vector<std::string> argv = Argv(std::move(args));
    if (root)
      argv.insert(argv.begin(),
                  {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return RunProcess(argv, Environment(), "", 60s);
  };
  if (root) {
    std::filesystem::permissions(Folder(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(RunProcess({"/bin/chown", "-R", "65534", folder}, {}).exitCode, 0);
  }
  struct Case {
    std::string name;
    std::filesystem::perms file, folder;
    std::string failure;
  };
  using std::filesystem::perms;
  const Case cases[] = {
      {"a read-only store", perms::owner_read, perms::owner_all,
       "kestrava-cli: cannot write to the store " + db +
           ": attempt to write a readonly database\n"},
      {"a read-only folder", perms::owner_read | perms::owner_write,
       perms::owner_read | perms::owner_exec,
       "kestrava-cli: cannot lock the store " + db + ": " + db + ".lock: Permission denied\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(db + ".lock");
    std::filesystem::permissions(db, c.file);
    std::filesystem::permissions(folder, c.folder);
    const ProcessResult sync = as({"sync"});
    EXPECT_EQ(sync.exitCode, 1);
    EXPECT_EQ(sync.err, c.failure);
    const ProcessResult status = as({"status"});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find("last run: run 1, success"), std::string::npos) << status.out;
    const ProcessResult history = as({"--format", "csv", "history", "transactions"});
    EXPECT_EQ(history.exitCode, 0) << history.err;
    std::filesystem::permissions(folder, perms::owner_all);
    std::filesystem::permissions(db, perms::owner_read | perms::owner_write);
    EXPECT_EQ(Sqlite3(db, "SELECT * FROM transactions"), bytes);
    EXPECT_EQ(Sqlite3(db, "SELECT COUNT(*) FROM sync_runs"), "1\n");
  }
}

}  // namespace
}  // namespace kestrava::testing
