#include "cli/SyncCommand.h"

#include <memory>
#include <optional>
#include <string>

#include "cli/CommandOutput.h"
#include "cli/Credentials.h"
#include "cli/Messages.h"
#include "cli/ServiceClient.h"
#include "cli/StoreAccess.h"
#include "client/Kestrava2Intf.h"
#include "store/PageWriter.h"

namespace kestrava::cli {
namespace {

// A time as the request sends it, without the "Z" that does not mean UTC.
std::string WireTime(TDateTime value) {
  std::string text = DateTimeToNetFormat(value);
  if (!text.empty() && text.back() == 'Z') text.pop_back();
  return text;
}

std::string Summary(const store::TSyncCounts& counts, const store::TTimeRange& range) {
  return "sync: " + std::to_string(counts.Accounts) + " accounts, " + std::to_string(counts.Read) +
         " records read: " + std::to_string(counts.New) + " new, " +
         std::to_string(counts.Changed) + " changed, " + std::to_string(counts.Unchanged) +
         " unchanged, " + std::to_string(counts.Repeated) + " repeated; covered " +
         WireTime(range.From) + " to " + WireTime(range.To);
}

// Hands each export's records to the session, the pages to a writer of
// their own, so that the next page is read while one is written; a failure
// of the store ends the export, its text kept for the run's error text.
class StoreSink {
 public:
  explicit StoreSink(store::TSyncSession& session) : session_(session), pages_(session) {}
  TKestrava_2::TRecordSink Accounts() {
    return
        [this](const TJSONArray& records) { return Guard([&] { session_.AddAccounts(records); }); };
  }
  TKestrava_2::TRecordSink Pages() {
    return [this](const TJSONArray& records) { return Guard([&] { pages_.Add(records); }); };
  }
  // Waits for the page in flight; false when a page could not be written.
  bool Finish() {
    return Guard([&] { pages_.Finish(); });
  }
  const std::string& Error() const noexcept { return error_; }

 private:
  template <class Work>
  bool Guard(Work work) {
    try {
      work();
      return true;
    } catch (const store::EStoreError& e) {
      error_ = e.Message();
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    return false;
  }
  store::TSyncSession& session_;
  store::TPageWriter pages_;
  std::string error_;
};

// The run failed: its text kept in the store as masked as standard error
// shows it, the failure said there. A failure of the store itself says its
// own message; else the service's failure is reported as every command
// reports it.
int FailRun(CliEnvironment& env, const SecretMask& mask, store::TSyncSession& session,
            ServiceSession& service, const StoreSink& sink) {
  if (!sink.Error().empty()) {
    session.Fail(mask("kestrava-cli: " + sink.Error()));
    return StoreFailure(env, mask, sink.Error());
  }
  session.Fail(mask(service.FailureText()));
  return service.ReportFailure();
}

}  // namespace

int RunSync(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  // One reading of the clock: the end of the range and the run's start.
  const TDateTime now = env.now();
  if (args.range.from && DateTimeToMilliseconds(*args.range.from) > DateTimeToMilliseconds(now)) {
    return Usage(env,
                 "the range starts after it ends: a sync reads from --from up to now, and "
                 "--from is " +
                     StoreTimeText(*args.range.from) + ", now " + StoreTimeText(now));
  }
  int code = ExitFailure;
  const std::optional<Credentials> credentials = FindCredentials(args, env, code);
  if (!credentials) return code;
  mask.Add(credentials->secret);
  const store::TSource source = SelectedSource(args, credentials->id);
  if (!args.range.from && !StoreExists(args, env))
    return Usage(env, "there is no store yet: give the start of the first sync with --from T");
  const std::unique_ptr<store::TStore> store = OpenCliStore(args, env, mask, true, code);
  if (store == nullptr) return code;
  // The line's target first, so that one which cannot be written fails
  // before the run begins.
  const std::unique_ptr<OutputTarget> target = OpenTarget(env, args.output);
  if (target == nullptr) return ExitFailure;

  std::unique_ptr<store::TSyncSession> session;
  store::TTimeRange range{args.range.from.value_or(0), now};
  try {
    if (!args.range.from) {
      const std::optional<TDateTime> end = store->CoverageEnd(source, args.account);
      if (!end)
        return Usage(env, "nothing of " + source.Host + " " + source.ClientId +
                              " is covered in the store " + store->Name() +
                              " yet: give the start of the first sync with --from T");
      range.From = IncHour(*end, -args.overlapHours);
    }
    session = store->BeginSync(source, range, args.account);
  } catch (const store::EStoreError& e) {
    return StoreFailure(env, mask, e.Message());
  }

  Progress progress(env);
  std::string failure;
  const std::unique_ptr<ServiceSession> service =
      ServiceSession::SignIn(args, *credentials, env, mask, progress, &failure);
  if (service == nullptr) {
    session->Fail(mask(failure));
    return ExitFailure;
  }
  TKestrava_2& client = service->Client();
  StoreSink sink(*session);
  if (!client.Accounts(sink.Accounts())) return FailRun(env, mask, *session, *service, sink);
  const bool read = client.GetTranzactii(range.From, range.To, args.account, sink.Pages());
  progress.EndLine();
  // A page that could not be written failed first, whatever the reading did after it.
  if (!sink.Finish() || !read) return FailRun(env, mask, *session, *service, sink);
  try {
    session->Succeed();
  } catch (const store::EStoreError& e) {
    session->Fail(mask("kestrava-cli: " + e.Message()));
    return StoreFailure(env, mask, e.Message());
  }
  return WriteWhole(env, *target, Summary(session->Counts(), range));
}

}  // namespace kestrava::cli
