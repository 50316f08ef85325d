#include "cli/HistoryCommand.h"

#include <functional>
#include <memory>
#include <optional>

#include "cli/CommandOutput.h"
#include "cli/Messages.h"
#include "cli/RangeOptions.h"
#include "cli/StoreAccess.h"
#include "json/JSON.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view kTransactions = "transactions";
constexpr std::string_view kAccounts = "accounts";

struct Opened {
  std::unique_ptr<store::TStore> store;
  store::TSource source;
};

// The store and the source of the options; none after the failure has been
// reported, with its exit code in `code`.
std::optional<Opened> Open(const CliArguments& args, CliEnvironment& env, const SecretMask& mask,
                           int& code) {
  const std::optional<std::string> id = ClientId(args, env);
  if (!id) {
    code = Usage(env, "no client id: give --id ID or set KESTRAVA_CLIENT_ID");
    return std::nullopt;
  }
  Opened opened;
  opened.source = SelectedSource(args, *id);
  opened.store = OpenCliStore(args, env, mask, false, code);
  if (opened.store == nullptr) return std::nullopt;
  return opened;
}

// "for every account" or "for account N".
std::string Filter(int account) {
  return account == store::kAllAccounts ? "for every account"
                                        : "for account " + std::to_string(account);
}

// Writes the stored records that `read` hands out as their text, each
// exactly as the writer of the format writes a record the service sent.
int WriteStored(const CliArguments& args, CliEnvironment& env, const SecretMask& mask,
                const std::string& storeName,
                const std::function<bool(const store::TRecordReceiver&)>& read) {
  const std::unique_ptr<OutputTarget> target = OpenTarget(env, args.output);
  if (target == nullptr) return ExitFailure;
  // A workbook's sheet is named as that of the command of the service that
  // prints the same records: transactions or accounts.
  const std::unique_ptr<RecordWriter> writer =
      NewWriter(env, args.format, *target, args.arguments[0]);
  if (writer == nullptr) return ExitFailure;
  bool unreadable = false;
  const bool complete = read([&](std::string_view text) {
    const std::unique_ptr<TJSONValue> record = ParseJSONValue(text);
    if (record == nullptr) {
      unreadable = true;
      return false;
    }
    return writer->Add(*record);
  });
  if (unreadable)
    return StoreFailure(env, mask,
                        "the store " + storeName + " holds a record that is no JSON text");
  if (!complete && writer->Refused()) return RefusedRecords(env);
  if (!complete) return CannotWrite(env, target->Name(), writer->ErrorText());
  return FinishRecords(env, *writer, *target);
}

int Transactions(const CliArguments& args, CliEnvironment& env, const SecretMask& mask) {
  int code = ExitFailure;
  std::optional<Opened> opened = Open(args, env, mask, code);
  if (!opened) return code;
  store::TStore& store = *opened->store;
  store::THistoryQuery query;
  query.Account = args.account;
  if (HasRange(args.range)) {
    const TimeRange range = ResolveRange(args.range, env.now);
    query.Range = store::TTimeRange{range.from, range.to};
  }
  const std::vector<store::TTimeRange> covered = store.Covered(opened->source, args.account);
  if (!args.partial) {
    // Without a range, every record stored: complete only when the syncs
    // covered one range without a gap.
    const bool complete = query.Range ? store.IsCovered(opened->source, args.account, *query.Range)
                                      : covered.size() == 1;
    if (!complete) {
      const std::string asked =
          query.Range ? StoreTimeText(query.Range->From) + " to " + StoreTimeText(query.Range->To)
                      : "the whole history";
      return StoreFailure(env, mask,
                          "successful syncs of " + opened->source.Host + " " +
                              opened->source.ClientId + " in the store " + store.Name() +
                              " do not cover " + asked + " " + Filter(args.account) +
                              "; they cover " + RangesText(covered) +
                              " (--partial prints what the store holds)");
    }
  }
  return WriteStored(args, env, mask, store.Name(), [&](const store::TRecordReceiver& receive) {
    return store.History(opened->source, query, receive);
  });
}

int Accounts(const CliArguments& args, CliEnvironment& env, const SecretMask& mask) {
  int code = ExitFailure;
  std::optional<Opened> opened = Open(args, env, mask, code);
  if (!opened) return code;
  store::TStore& store = *opened->store;
  if (!store.Status(opened->source).LastSuccess)
    return StoreFailure(env, mask,
                        "no sync of " + opened->source.Host + " " + opened->source.ClientId +
                            " has succeeded in the store " + store.Name() + " yet");
  return WriteStored(args, env, mask, store.Name(), [&](const store::TRecordReceiver& receive) {
    return store.LatestAccounts(opened->source, receive);
  });
}

}  // namespace

int RunHistory(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  try {
    if (args.arguments[0] == kAccounts) return Accounts(args, env, mask);
    return Transactions(args, env, mask);
  } catch (const store::EStoreError& e) {
    return StoreFailure(env, mask, e.Message());
  }
}

std::string CheckHistory(const CliArguments& args) {
  if (args.arguments.empty()) return "history needs what to print: transactions or accounts";
  const std::string& what = args.arguments[0];
  if (what == kAccounts) {
    if (HasRange(args.range) || args.account != 0 || args.partial)
      return "history accounts takes no range, --account or --partial";
    return {};
  }
  if (what != kTransactions) return "history prints transactions or accounts, not \"" + what + "\"";
  // Without a range: the whole history.
  return CheckRange(args.range, "history transactions", /*optional=*/true);
}

}  // namespace kestrava::cli
