#include "cli/RetryPolicy.h"

#include <algorithm>

#include "base/Ascii.h"
#include "cli/HttpDate.h"

namespace kestrava::cli {
namespace {

using std::chrono::seconds;

constexpr seconds LongestRetryAfter{600};
constexpr seconds LongestBackoff{60};
constexpr std::size_t ReasonCharacters = 200;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool MayPass(const TRequestFailure& failure) {
  if (failure.Cause == TFailureCause::Transport) return true;
  if (failure.Cause != TFailureCause::Status) return false;
  switch (failure.StatusCode) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      return false;
  }
}

std::optional<seconds> RetryAfterWait(std::string_view value,
                                      std::chrono::system_clock::time_point now) {
  value = Trimmed(value);
  if (value.empty()) return std::nullopt;
  if (std::all_of(value.begin(), value.end(), IsAsciiDigit)) {
    // Any number of digits: the longest wait is all a long one can give.
    const std::string_view significant =
        value.substr(std::min(value.find_first_not_of('0'), value.size()));
    if (significant.size() > 3) return LongestRetryAfter;
    int delta = 0;
    for (const char c : significant) delta = delta * 10 + (c - '0');
    return std::min(seconds(delta), LongestRetryAfter);
  }
  const std::optional<std::int64_t> date = ParseHttpDate(value);
  if (!date) return std::nullopt;
  // Counted in whole seconds: a date of any four-digit year and any clock
  // fit, where the clock's own nanoseconds end in 2262. The time left,
  // rounded up, is the date less the second `now` falls in.
  const std::int64_t nowSecond = std::chrono::floor<seconds>(now.time_since_epoch()).count();
  const std::int64_t left = *date - nowSecond;
  if (left <= 0) return seconds(0);
  return std::min(seconds(left), LongestRetryAfter);
}

seconds BackoffWait(int retry) {
  if (retry >= 7) return LongestBackoff;  // 2^6 would pass it already
  return std::min(seconds(1LL << std::max(retry - 1, 0)), LongestBackoff);
}

std::string RetryReason(std::string_view errorText) {
  errorText = errorText.substr(0, errorText.find_first_of("\r\n"));
  // Characters, not bytes: a UTF-8 sequence is never cut.
  std::size_t characters = 0, end = 0;
  for (; end < errorText.size(); ++end) {
    const bool continuation = (static_cast<unsigned char>(errorText[end]) & 0xC0) == 0x80;
    if (!continuation && characters++ == ReasonCharacters) break;
  }
  return std::string(errorText.substr(0, end));
}

TAfterFailure RetryPolicy::operator()(const TRequestFailure& failure) {
  const int retry = failure.Failures;
  if (retry > limits_.retries) return TAfterFailure::Fail;
  const auto elapsed = world_.monotonic() - limits_.began;
  const bool expired = failure.Request != TRequestKind::SignIn &&
                       failure.Cause == TFailureCause::Status && failure.StatusCode == 401;
  if (expired) {
    const std::pair<TRequestKind, int> request{failure.Request, failure.Page};
    if (signedInAgainFor_ == request || elapsed > limits_.maxTime) return TAfterFailure::Fail;
    signedInAgainFor_ = request;
    Announce(retry, seconds(0), failure.ErrorText);
    return TAfterFailure::SignInAndRepeat;
  }
  if (!MayPass(failure)) return TAfterFailure::Fail;
  std::optional<seconds> wait;
  if (failure.Cause == TFailureCause::Status)
    wait = RetryAfterWait(failure.RetryAfter, world_.utc());
  if (!wait) wait = BackoffWait(retry);
  if (elapsed + *wait > limits_.maxTime) return TAfterFailure::Fail;
  Announce(retry, *wait, failure.ErrorText);
  world_.wait(*wait);
  return TAfterFailure::Repeat;
}

void RetryPolicy::Announce(int retry, seconds wait, const std::string& errorText) {
  world_.announce("kestrava-cli: retry " + std::to_string(retry) + " of " +
                  std::to_string(limits_.retries) + " in " + std::to_string(wait.count()) +
                  " s: " + RetryReason(world_.mask(errorText)));
}

}  // namespace kestrava::cli
