#pragma once

// The client of the service as a command of kestrava-cli sets it up: the
// timeout and the retries of the options, the progress of an export on a
// terminal, the secrets it learns, and what it knows of the request whose
// failure ends an operation.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/Credentials.h"
#include "cli/RetryPolicy.h"
#include "cli/SecretMask.h"
#include "client/Kestrava2Intf.h"

namespace kestrava::cli {

// "page N of M" on a terminal, kept on one line until something else is
// written on standard error.
class Progress {
 public:
  explicit Progress(CliEnvironment& env) : env_(env) {}
  void Page(int read, int total);
  void EndLine();

 private:
  CliEnvironment& env_;
  bool shown_ = false;
};

// One signed-in client of a command. Its retry lines end the progress line
// first and are masked by `mask`, to which each access token the client
// gets (by the sign-in or one in the middle of an export) is added before
// the next line is masked; an export's pages are shown on `progress`. With
// --max-time, every request and every wait between two tries ends by the
// deadline, which the client's wait hook watches while a request waits and
// its page hook between two pages; no retry starts whose wait would pass
// it. The arguments, the environment, the mask and the progress must
// outlive it.
class ServiceSession {
 public:
  // Signs in; none after the failure has been reported (its text as the
  // client gives it, unmasked, in `failure` when given).
  static std::unique_ptr<ServiceSession> SignIn(const CliArguments& args,
                                                const Credentials& credentials, CliEnvironment& env,
                                                SecretMask& mask, Progress& progress,
                                                std::string* failure = nullptr);
  ServiceSession(const ServiceSession&) = delete;
  ServiceSession& operator=(const ServiceSession&) = delete;

  TKestrava_2& Client() noexcept { return *client_; }
  // Reports the failure that ended the client's last operation: its error
  // text, with the failing reply when the failed request got one; the exit
  // code.
  int ReportFailure();
  // The text ReportFailure reports, unmasked: the client's error text, or
  // why --max-time ended the command.
  std::string FailureText() const;

 private:
  ServiceSession(const CliArguments& args, CliEnvironment& env, SecretMask& mask,
                 Progress& progress);
  TAfterFailure OnRequestFailed(const TRequestFailure& failure);
  // The mask, with the client's current token in it.
  const SecretMask& Mask();
  // Whether the deadline of --max-time has come; it stays come.
  bool PastDeadline();

  const CliArguments& args_;
  CliEnvironment& env_;
  SecretMask& mask_;
  Progress& progress_;
  std::chrono::steady_clock::time_point began_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  bool deadlinePassed_ = false;
  std::optional<RetryPolicy> retry_;
  std::unique_ptr<TKestrava_2> client_;
  // The failed request that an operation ended with, as the last answer
  // to a failure was to fail.
  std::optional<TRequestFailure> ending_;
};

}  // namespace kestrava::cli
