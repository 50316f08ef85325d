#pragma once

// kestrava-cli run in-process against the scripted TLS server, with clocks
// of the test's own: waits between retries pass at once and are recorded.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "datetime/DateTime.h"
#include "keyring/Keyring.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ServicePaths.h"
#include "tests/support/ServiceReplies.h"

namespace kestrava::testing {

struct Outcome {
  int code;
  std::string out, err;
};

// One page of a transaction export holding `records` (a JSON array text).
std::string PageReply(int totalPages, std::string_view records);
// The display text of a JSON text.
std::string Display(std::string_view json);

class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { TrustTestCa(); }

  // The program with these arguments; standard input holds `input`.
  Outcome Call(std::vector<std::string> args, std::string input = "", bool terminal = false);
  // A service command against the scripted server, with an id and secret.
  Outcome Service(std::vector<std::string> args, bool terminal = false);
  // The transactions command over one day of May 2025, after `options`.
  Outcome Transactions(std::vector<std::string> options, bool terminal = false);
  // The query of the last request the server received, from "startDate".
  std::string LastQuery();

  ScriptedServer server;
  std::map<std::string, std::string> environment;
  // The clocks the program reads: the local time for --last, and the
  // steady and UTC clocks of the retries, which move only by the waits.
  TDateTime localNow = EncodeDateTime(2025, 5, 15, 8, 30, 0, 0);
  int nowReadings = 0;         // how often the program read localNow
  bool outIsTerminal = false;  // standard output as a terminal
  std::chrono::steady_clock::time_point monotonic{std::chrono::hours(1000)};
  std::chrono::system_clock::time_point utc{
      std::chrono::seconds(1747297800)};  // 2025-05-15 08:30 UTC
  std::vector<std::chrono::seconds> waits;
  // The keyring the program reaches; none: it has no keyring.
  std::function<std::unique_ptr<keyring::TKeyring>()> openKeyring;
};

}  // namespace kestrava::testing
