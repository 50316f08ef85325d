#pragma once

// kestrava-cli's commands of the local store run in-process against the
// sandbox in-process, both reading one clock of the test's own: a sync, a
// late posting or an amendment happens at the time the test sets, never
// after a wait. Stores are real SQLite files, read back by /usr/bin/sqlite3.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "datetime/DateTime.h"
#include "sandbox/SandboxServer.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {

// "YYYY-MM-DDTHH:MM:SS.mmm", as --from and --to take a time.
std::string TimeArg(TDateTime value);

// What /usr/bin/sqlite3 prints for `sql` on the file (read only; "|"
// between columns, one row a line).
std::string Sqlite3(const std::string& db, const std::string& sql);

// The lines of a text, each without its end `end`.
std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n");

// The number in a summary line after `before` ("accounts, " gives R).
long long CountAfter(const std::string& line, const std::string& before);

class StoreCliTest : public ::testing::Test {
 protected:
  void TearDown() override { StopSandbox(); }

  // A sandbox with these options (its data follows from `now`); replaces
  // the one running, on its port.
  void StartSandbox(sandbox::ServiceOptions service = {});
  void StopSandbox();

  // kestrava-cli with the sandbox's host, the store of the test and these
  // arguments; the client id and secret come from `environment`.
  Outcome Cli(std::vector<std::string> args);
  // The same without the store's --db (for $KESTRAVA_DB and the XDG path).
  Outcome CliWithoutDb(std::vector<std::string> args);

  // sync --from `from` (none: without --from) at the test's now, and more.
  Outcome Sync(std::optional<TDateTime> from, std::vector<std::string> more = {});

  ScratchFolder folder;
  std::string db = folder.File("kestrava.db");
  std::string host;
  // The test's clock, read by the program and the sandbox alike.
  TDateTime now = EncodeDateTime(2025, 5, 15, 8, 30, 0, 0);
  // What the program finds in its environment: the sandbox's client.
  std::map<std::string, std::string> environment{
      {"KESTRAVA_CLIENT_ID", sandbox::kDefaultClientId},
      {"KESTRAVA_CLIENT_SECRET", sandbox::kDefaultClientSecret}};

 private:
  std::unique_ptr<sandbox::SandboxServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrava::testing
