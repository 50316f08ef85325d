#include "cli/StatusCommand.h"

#include <memory>
#include <optional>
#include <vector>

#include "cli/CommandOutput.h"
#include "cli/JsonText.h"
#include "cli/Messages.h"
#include "cli/StoreAccess.h"

namespace kestrava::cli {
namespace {

using store::TSourceStatus;
using store::TSyncRun;

std::string Count(std::int64_t value) {
  return std::to_string(value);
}

std::string Filter(int account) {
  return account == store::kAllAccounts ? "every account" : "account " + std::to_string(account);
}

std::string RunText(const TSyncRun& run) {
  std::string text = "run " + Count(run.Id) + ", " + std::string(store::OutcomeText(run.Outcome)) +
                     ", started " + StoreTimeText(run.Started);
  if (run.Ended) text += ", ended " + StoreTimeText(*run.Ended);
  const store::TSyncCounts& c = run.Counts;
  text += "; " + StoreTimeText(run.Range.From) + " to " + StoreTimeText(run.Range.To) + " for " +
          Filter(run.Account) + "; " + Count(c.Pages) + " pages, " + Count(c.Accounts) +
          " accounts, " + Count(c.Read) + " records read: " + Count(c.New) + " new, " +
          Count(c.Changed) + " changed, " + Count(c.Unchanged) + " unchanged, " +
          Count(c.Repeated) + " repeated";
  return text;
}

std::string Text(const TSourceStatus& status) {
  std::string text = "host: " + status.Source.Host + "\nid: " + status.Source.ClientId +
                     "\naccounts: " + Count(status.Accounts) +
                     "\nrecords: " + Count(status.Records) +
                     "\ncovered: " + RangesText(status.CoveredAll) + "\n";
  for (const auto& [account, ranges] : status.CoveredAccount)
    text += "covered for account " + std::to_string(account) + ": " + RangesText(ranges) + "\n";
  text += "last run: " + (status.LastRun ? RunText(*status.LastRun) : "none") + "\n";
  if (status.LastRun && !status.LastRun->Error.empty())
    text += "last error: " + status.LastRun->ErrorFirstLine + "\n";
  text += "last success: " + (status.LastSuccess ? RunText(*status.LastSuccess) : "none") + "\n";
  return text;
}

std::string Ranges(const std::vector<store::TTimeRange>& ranges) {
  JsonArray array;
  for (const store::TTimeRange& range : ranges) {
    array.Json(JsonObject()
                   .String("from", StoreTimeText(range.From))
                   .String("to", StoreTimeText(range.To))
                   .Text());
  }
  return array.Text();
}

std::string Run(const std::optional<TSyncRun>& run) {
  if (!run) return "null";
  JsonObject object;
  object.Number("run", run->Id)
      .String("outcome", store::OutcomeText(run->Outcome))
      .String("started", StoreTimeText(run->Started));
  if (run->Ended) {
    object.String("ended", StoreTimeText(*run->Ended));
  } else {
    object.Null("ended");
  }
  object.String("from", StoreTimeText(run->Range.From)).String("to", StoreTimeText(run->Range.To));
  if (run->Account == store::kAllAccounts) {
    object.Null("account");
  } else {
    object.Number("account", run->Account);
  }
  const store::TSyncCounts& c = run->Counts;
  object.Number("pages", c.Pages)
      .Number("accounts", c.Accounts)
      .Number("read", c.Read)
      .Number("new", c.New)
      .Number("changed", c.Changed)
      .Number("unchanged", c.Unchanged)
      .Number("repeated", c.Repeated);
  if (run->Error.empty()) {
    object.Null("error");
  } else {
    object.String("error", run->ErrorFirstLine);
  }
  return object.Text();
}

// One line of JSON a source, for programs: plain JSON text (see JsonText.h),
// not the compact text of records.
std::string Ndjson(const TSourceStatus& status) {
  JsonArray accounts;
  for (const auto& [account, ranges] : status.CoveredAccount)
    accounts.Json(JsonObject().Number("account", account).Json("covered", Ranges(ranges)).Text());
  return JsonObject()
             .String("host", status.Source.Host)
             .String("id", status.Source.ClientId)
             .Number("accounts", status.Accounts)
             .Number("records", status.Records)
             .Json("covered", Ranges(status.CoveredAll))
             .Json("coveredAccounts", accounts.Text())
             .Json("lastRun", Run(status.LastRun))
             .Json("lastSuccess", Run(status.LastSuccess))
             .Text() +
         "\n";
}

// True when the source's last successful sync ended no more than `hours`
// before `now`.
bool Fresh(const TSourceStatus& status, int hours, TDateTime now) {
  if (!status.LastSuccess || !status.LastSuccess->Ended) return false;
  return IncHour(*status.LastSuccess->Ended, hours) >= now;
}

int Write(CliEnvironment& env, OutputTarget& target, const std::string& text) {
  int error = 0;
  if (!target.Sink().Write(text)) return CannotWrite(env, target.Name(), target.Sink().Error());
  if (!target.Commit(error)) return CannotWrite(env, target.Name(), error);
  return ExitSuccess;
}

}  // namespace

int RunStatus(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  const TDateTime now = env.now();
  int code = ExitFailure;
  const std::unique_ptr<store::TStore> store = OpenCliStore(args, env, mask, false, code);
  if (store == nullptr) return code;
  std::vector<TSourceStatus> statuses;
  try {
    if (const std::optional<std::string> id = ClientId(args, env)) {
      statuses.push_back(store->Status(SelectedSource(args, *id)));
    } else {
      for (const store::TSource& source : store->Sources())
        statuses.push_back(store->Status(source));
    }
  } catch (const store::EStoreError& e) {
    return StoreFailure(env, mask, e.Message());
  }
  const std::unique_ptr<OutputTarget> target = OpenTarget(env, args.output);
  if (target == nullptr) return ExitFailure;
  std::string text;
  for (const TSourceStatus& status : statuses) {
    if (args.format == OutputFormat::Ndjson) {
      text += Ndjson(status);
    } else {
      if (!text.empty()) text += "\n";
      text += Text(status);
    }
  }
  code = Write(env, *target, text);
  if (code != ExitSuccess || !args.maxAgeHours) return code;
  if (statuses.empty())
    return StoreFailure(env, mask, "no sync has succeeded in the store " + store->Name());
  for (const TSourceStatus& status : statuses) {
    if (Fresh(status, *args.maxAgeHours, now)) continue;
    const std::string which = status.Source.Host + " " + status.Source.ClientId;
    code = StoreFailure(env, mask,
                        status.LastSuccess
                            ? "the last successful sync of " + which + " ended more than " +
                                  std::to_string(*args.maxAgeHours) + " hours ago"
                            : "no sync of " + which + " has succeeded");
  }
  return code;
}

std::string CheckStatus(const CliArguments& args) {
  if (args.format != OutputFormat::Display && args.format != OutputFormat::Ndjson)
    return "status prints text (--format display) or ndjson";
  return {};
}

}  // namespace kestrava::cli
