#pragma once

// What the commands of the local store share: where the store is, which
// source the options select, and the store opened with the program's clock.

#include <memory>
#include <optional>
#include <string>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "cli/SecretMask.h"
#include "store/Store.h"

namespace kestrava::cli {

// For tests: the seconds a sync waits for another sync of the same store
// (default 30), from this environment variable.
inline constexpr char kSyncWaitVariable[] = "KESTRAVA_SYNC_WAIT";
inline constexpr int kMaxSyncWaitSeconds = 3600;

// The client id of --id, else of KESTRAVA_CLIENT_ID; none when neither
// gives one.
std::optional<std::string> ClientId(const CliArguments& args, CliEnvironment& env);

// The source the options select: the service host as requested ("api.test."
// in front of it with --test) and `clientId`. Sets the host of --host for
// the process, as a command of the service does.
store::TSource SelectedSource(const CliArguments& args, const std::string& clientId);

// The store of --db, $KESTRAVA_DB or the XDG data folder, opened; `create`
// makes a missing one. None after the failure has been reported, with its
// exit code in `code`.
std::unique_ptr<store::TStore> OpenCliStore(const CliArguments& args, CliEnvironment& env,
                                            const SecretMask& mask, bool create, int& code);

// False when the store's file is known not to exist (true when its place
// cannot be told: opening it then says why).
bool StoreExists(const CliArguments& args, CliEnvironment& env);

// A failure of the store: "kestrava-cli: " and its text; the exit code.
int StoreFailure(CliEnvironment& env, const SecretMask& mask, const std::string& text);

// A time as the store keeps it and status shows it: "YYYY-MM-DDTHH:MM:SS.mmm".
std::string StoreTimeText(TDateTime value);

// "A to B, C to D" of covered ranges; "nothing" for none.
std::string RangesText(const std::vector<store::TTimeRange>& ranges);

}  // namespace kestrava::cli
