#pragma once

// The client secret in the keyring, as kestrava-cli names and reports it:
// the key of a source, and one message for each failure that says what to
// do about it.

#include <memory>
#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "keyring/Keyring.h"

namespace kestrava::cli {

// The source's host as requested (the "api.test." prefix included) and the
// client id.
keyring::TSecretKey SecretKeyOf(const CliArguments& args, const std::string& id);

// "HOST, client id ID": the source as messages name it.
std::string SourceName(const keyring::TSecretKey& key);

// The keyring of the run; none after the failure has been reported.
std::unique_ptr<keyring::TKeyring> OpenKeyring(CliEnvironment& env);

// Reports a failure of the keyring as "kestrava-cli: " + what went wrong and
// what to do; the exit code of a failure.
int KeyringFailure(CliEnvironment& env, const CliArguments& args, const keyring::TSecretKey& key,
                   const keyring::EKeyringError& error);

// The secret stored for the arguments' source; none after the failure has
// been reported.
std::optional<std::string> SecretFromKeyring(const CliArguments& args, const std::string& id,
                                             CliEnvironment& env);

}  // namespace kestrava::cli
