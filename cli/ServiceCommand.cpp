#include "cli/ServiceCommand.h"

#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "cli/Credentials.h"
#include "cli/Messages.h"
#include "cli/ServiceClient.h"
#include "client/Kestrava2Intf.h"
#include "json/JSON.h"

namespace kestrava::cli {
namespace {

struct SignedIn {
  std::unique_ptr<OutputTarget> target;
  std::unique_ptr<ServiceSession> session;
};

// What every command of the service does first: the credentials, the host,
// the output target (so that one which cannot be written fails before any
// request) and the sign-in. None after the failure has been reported, with
// its exit code in `code`.
std::optional<SignedIn> Start(const CliArguments& args, CliEnvironment& env, SecretMask& mask,
                              Progress& progress, int& code) {
  const std::optional<Credentials> credentials = FindCredentials(args, env, code);
  if (!credentials) return std::nullopt;
  mask.Add(credentials->secret);
  if (args.host) SetServiceHost(*args.host);
  code = ExitFailure;
  SignedIn start;
  start.target = OpenTarget(env, args.output);
  if (start.target == nullptr) return std::nullopt;
  start.session = ServiceSession::SignIn(args, *credentials, env, mask, progress);
  if (start.session == nullptr) return std::nullopt;
  return start;
}

// Writes the records of an export as they arrive; the exit code once the
// export has ended, its failure reported.
int WriteRecords(const CliArguments& args, CliEnvironment& env, SignedIn& start,
                 const std::function<bool(const TKestrava_2::TRecordSink&)>& exportRecords) {
  const std::unique_ptr<RecordWriter> writer =
      NewWriter(env, args.format, *start.target, FindCommand(args.command)->sheet);
  if (writer == nullptr) return ExitFailure;
  const bool ok = exportRecords([&](const TJSONArray& records) { return writer->Add(records); });
  if (!ok && writer->Refused()) return RefusedRecords(env);
  if (!ok && writer->Error() != 0)
    return CannotWrite(env, start.target->Name(), writer->ErrorText());
  if (!ok) return start.session->ReportFailure();
  return FinishRecords(env, *writer, *start.target);
}

}  // namespace

int RunLogin(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  Progress progress(env);
  int code = ExitFailure;
  std::optional<SignedIn> start = Start(args, env, mask, progress, code);
  if (!start) return code;
  return WriteWhole(env, *start->target, start->session->Client().Token);
}

int RunAccounts(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  Progress progress(env);
  int code = ExitFailure;
  std::optional<SignedIn> start = Start(args, env, mask, progress, code);
  if (!start) return code;
  return WriteRecords(args, env, *start, [&](const TKestrava_2::TRecordSink& receive) {
    return start->session->Client().Accounts(receive);
  });
}

int RunTransactions(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  const TimeRange range = ResolveRange(args.range, env.now);
  Progress progress(env);
  int code = ExitFailure;
  std::optional<SignedIn> start = Start(args, env, mask, progress, code);
  if (!start) return code;
  TKestrava_2& client = start->session->Client();
  return WriteRecords(args, env, *start, [&](const TKestrava_2::TRecordSink& receive) {
    const bool ok = client.GetTranzactii(range.from, range.to, args.account, receive);
    progress.EndLine();
    return ok;
  });
}

std::string CheckTransactions(const CliArguments& args) {
  return CheckRange(args.range, "transactions");
}

}  // namespace kestrava::cli
