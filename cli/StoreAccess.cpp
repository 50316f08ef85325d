#include "cli/StoreAccess.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>

#include "base/Options.h"
#include "cli/Messages.h"
#include "client/Kestrava2Intf.h"
#include "store/StorePath.h"
#include "store/StoreTime.h"

namespace kestrava::cli {

std::optional<std::string> ClientId(const CliArguments& args, CliEnvironment& env) {
  if (args.id) return args.id;
  return env.getenv ? env.getenv("KESTRAVA_CLIENT_ID") : std::nullopt;
}

store::TSource SelectedSource(const CliArguments& args, const std::string& clientId) {
  if (args.host) SetServiceHost(*args.host);
  return {(args.test ? "api.test." : "") + ServiceHost(), clientId};
}

int StoreFailure(CliEnvironment& env, const SecretMask& mask, const std::string& text) {
  return Failure(env, mask, {text}, false);
}

std::unique_ptr<store::TStore> OpenCliStore(const CliArguments& args, CliEnvironment& env,
                                            const SecretMask& mask, bool create, int& code) {
  code = ExitUsage;
  store::TStoreOptions options;
  options.Create = create;
  options.Clock = env.now;
  if (const std::optional<std::string> wait =
          env.getenv ? env.getenv(kSyncWaitVariable) : std::nullopt) {
    const std::optional<long long> seconds = ParseWholeNumber(*wait);
    if (!seconds || *seconds < 0 || *seconds > kMaxSyncWaitSeconds) {
      Usage(env,
            std::string(kSyncWaitVariable) + " " +
                Needs("a whole number of seconds from 0 to " + std::to_string(kMaxSyncWaitSeconds),
                      *wait));
      return nullptr;
    }
    options.BusyWait = std::chrono::seconds(*seconds);
  }
  code = ExitFailure;
  try {
    options.Path = store::StorePath(args.db, env.getenv);
    return store::OpenStore(options);
  } catch (const store::EStoreError& e) {
    StoreFailure(env, mask, e.Message());
  }
  return nullptr;
}

bool StoreExists(const CliArguments& args, CliEnvironment& env) {
  try {
    struct stat info {};
    return stat(store::StorePath(args.db, env.getenv).c_str(), &info) == 0 || errno != ENOENT;
  } catch (const store::EStoreError&) {
    return true;
  }
}

std::string StoreTimeText(TDateTime value) {
  try {
    return store::TimeText(value);
  } catch (const store::EStoreError&) {
    return "?";
  }
}

std::string RangesText(const std::vector<store::TTimeRange>& ranges) {
  if (ranges.empty()) return "nothing";
  std::string text;
  for (const store::TTimeRange& range : ranges) {
    if (!text.empty()) text += ", ";
    text += StoreTimeText(range.From) + " to " + StoreTimeText(range.To);
  }
  return text;
}

}  // namespace kestrava::cli
