#include "cli/StatusCommand.h"

#include <memory>
#include <optional>
#include <vector>

#include "cli/CommandOutput.h"
#include "cli/Messages.h"
#include "cli/StoreAccess.h"
#include "json/JSON.h"

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

std::unique_ptr<TJSONValue> Number(std::int64_t value) {
  return std::make_unique<TJSONNumber>(std::to_string(value));
}

std::unique_ptr<TJSONValue> String(std::string_view value) {
  return std::make_unique<TJSONString>(value);
}

std::unique_ptr<TJSONValue> Ranges(const std::vector<store::TTimeRange>& ranges) {
  auto array = std::make_unique<TJSONArray>();
  for (const store::TTimeRange& range : ranges) {
    auto object = std::make_unique<TJSONObject>();
    object->AddPair("from", StoreTimeText(range.From));
    object->AddPair("to", StoreTimeText(range.To));
    array->AddElement(std::move(object));
  }
  return array;
}

std::unique_ptr<TJSONValue> Run(const std::optional<TSyncRun>& run) {
  if (!run) return std::make_unique<TJSONNull>();
  auto object = std::make_unique<TJSONObject>();
  object->AddPair("run", Number(run->Id));
  object->AddPair("outcome", store::OutcomeText(run->Outcome));
  object->AddPair("started", StoreTimeText(run->Started));
  object->AddPair("ended", run->Ended ? String(StoreTimeText(*run->Ended)) : nullptr);
  object->AddPair("from", StoreTimeText(run->Range.From));
  object->AddPair("to", StoreTimeText(run->Range.To));
  object->AddPair("account", run->Account == store::kAllAccounts ? nullptr : Number(run->Account));
  const store::TSyncCounts& c = run->Counts;
  object->AddPair("pages", Number(c.Pages));
  object->AddPair("accounts", Number(c.Accounts));
  object->AddPair("read", Number(c.Read));
  object->AddPair("new", Number(c.New));
  object->AddPair("changed", Number(c.Changed));
  object->AddPair("unchanged", Number(c.Unchanged));
  object->AddPair("repeated", Number(c.Repeated));
  object->AddPair("error", run->Error.empty() ? nullptr : String(run->ErrorFirstLine));
  return object;
}

std::string Ndjson(const TSourceStatus& status) {
  TJSONObject object;
  object.AddPair("host", status.Source.Host);
  object.AddPair("id", status.Source.ClientId);
  object.AddPair("accounts", Number(status.Accounts));
  object.AddPair("records", Number(status.Records));
  object.AddPair("covered", Ranges(status.CoveredAll));
  auto accounts = std::make_unique<TJSONArray>();
  for (const auto& [account, ranges] : status.CoveredAccount) {
    auto one = std::make_unique<TJSONObject>();
    one->AddPair("account", Number(account));
    one->AddPair("covered", Ranges(ranges));
    accounts->AddElement(std::move(one));
  }
  object.AddPair("coveredAccounts", std::move(accounts));
  object.AddPair("lastRun", Run(status.LastRun));
  object.AddPair("lastSuccess", Run(status.LastSuccess));
  return object.ToString() + "\n";
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
