#pragma once

// --retry N: which failed requests are tried again, after how long, within
// which time budget, and the line that says so on standard error.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "client/Kestrava2Intf.h"

namespace kestrava::cli {

struct RetryLimits {
  int retries = 0;                    // of each request
  std::chrono::seconds maxTime{600};  // no retry starts later after the command began
  std::chrono::steady_clock::time_point began;
};

// What the policy needs of the world; tests give clocks of their own.
struct RetryWorld {
  std::function<std::chrono::steady_clock::time_point()> monotonic;
  std::function<std::chrono::system_clock::time_point()> utc;
  std::function<void(std::chrono::seconds)> wait;
  // Takes the line "kestrava-cli: retry K of N in S s: REASON"; the reason
  // comes from an error text, masked by `mask` first.
  std::function<void(const std::string&)> announce;
  std::function<std::string(std::string)> mask;
};

// The answer to TKestrava_2::TSettings::OnRequestFailed.
class RetryPolicy {
 public:
  RetryPolicy(RetryLimits limits, RetryWorld world) : limits_(limits), world_(std::move(world)) {}
  TAfterFailure operator()(const TRequestFailure& failure);

 private:
  void Announce(int retry, std::chrono::seconds wait, const std::string& errorText);
  RetryLimits limits_;
  RetryWorld world_;
  // The request that signed in again after a 401: a second 401 on it is
  // final.
  std::optional<std::pair<TRequestKind, int>> signedInAgainFor_;
};

// A failure that may pass: the transport broke off, or the status is 408,
// 429, 500, 502, 503 or 504.
bool MayPass(const TRequestFailure& failure);

// The wait a Retry-After value asks for: delta-seconds, or an HTTP-date
// (one in the past: 0), at most 600 s; none when it is neither.
std::optional<std::chrono::seconds> RetryAfterWait(std::string_view value,
                                                   std::chrono::system_clock::time_point now);

// The wait before retry k without a Retry-After: 2^(k-1) s, at most 60 s.
std::chrono::seconds BackoffWait(int retry);

// The error text up to its first CR or LF, at most 200 characters.
std::string RetryReason(std::string_view errorText);

}  // namespace kestrava::cli
