#pragma once

// The lines kestrava-cli writes on standard error about a run: bad usage,
// input or output that failed, and the failure of a command. On a terminal,
// text that came from a server cannot act on it.

#include <string>
#include <string_view>

#include "cli/Cli.h"
#include "cli/FailureOutput.h"
#include "cli/SecretMask.h"

namespace kestrava::cli {

// One line on standard error.
void WriteLine(CliEnvironment& env, std::string_view text);

// "kestrava-cli: MESSAGE" and a pointer to --help; the exit code of bad
// usage.
int Usage(CliEnvironment& env, const std::string& message);

// "kestrava-cli: cannot read NAME: REASON" (and "write"), REASON being the
// errno's description; the exit code of a failure.
int CannotRead(CliEnvironment& env, const std::string& name, int error);
int CannotWrite(CliEnvironment& env, const std::string& name, int error);
// The same with the reason as a text (what an output format cannot hold).
int CannotWrite(CliEnvironment& env, const std::string& name, const std::string& reason);

// Records that the output format cannot hold (csv: too many columns),
// with the way out; the exit code of a failure.
int RefusedRecords(CliEnvironment& env);

// A failure of the service, the transport or the client, masked: the lines
// for a log (FailureOutput.h), or with `exact` the whole error text as the
// window shows it, then LF; the exit code of a failure.
int Failure(CliEnvironment& env, const SecretMask& mask, const FailureDetail& failure, bool exact);

}  // namespace kestrava::cli
