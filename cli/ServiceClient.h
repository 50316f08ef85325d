#pragma once

// The client of the service as a command of kestrava-cli sets it up: the
// timeout and the retries of the options, and the progress of an export
// on a terminal.

#include <memory>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/Credentials.h"
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

// The client signed in; none after the failure has been reported. Retry
// lines end the progress line first and are masked by `mask`; both must
// outlive the client. Each access token the client gets, by this sign-in
// or one in the middle of an export, joins `mask` before the next line
// is masked.
std::unique_ptr<TKestrava_2> SignIn(const CliArguments& args, const Credentials& credentials,
                                    CliEnvironment& env, SecretMask& mask, Progress& progress);

}  // namespace kestrava::cli
