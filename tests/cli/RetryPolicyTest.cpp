// The pieces of --retry: HTTP-dates, the wait a Retry-After asks for, the
// doubling wait without one, and the reason a retry line gives.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "cli/HttpDate.h"
#include "cli/RetryPolicy.h"

namespace kestrava::cli {
namespace {

using std::chrono::seconds;

TEST(HttpDate, TheThreeFormsAndNothingElse) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> seconds;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Sun Nov  6 08:49:37 1994", 784111777},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Thu, 15 May 2025 08:30:03 GMT", 1747297803},
      {"Sat, 29 Feb 2020 23:59:59 GMT", 1583020799},
      {"Wed, 31 Dec 2025 23:59:60 GMT", 1767225600},  // a leap second
      {"Monday, 01-Jan-01 00:00:00 GMT", 978307200},  // two digits below 70: 20xx
      {"Tue Dec 31 23:59:59 2024", 1735689599},
      {"Sun, 06 Nov 1994 08:49:37 UTC", std::nullopt},
      {"Sun, 6 Nov 1994 08:49:37 GMT", std::nullopt},
      {"sun, 06 Nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 30 Feb 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 GMT ", std::nullopt},
      {"Sun, 06 Nov 1994 08:49 GMT", std::nullopt},
      {"Sun Nov 6 08:49:37 1994", std::nullopt},
      {"", std::nullopt},
      {"120", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHttpDate(c.text), c.seconds) << c.text;
}

TEST(RetryAfter, DeltaSecondsOrADateAtMostTenMinutes) {
  const auto now = std::chrono::system_clock::time_point(seconds(1747297800)) +
                   std::chrono::milliseconds(250);  // 2025-05-15 08:30:00.250 UTC
  struct Case {
    const char* value;
    std::optional<seconds> wait;
  };
  const Case cases[] = {
      {"0", seconds(0)},
      {"1", seconds(1)},
      {" 30 ", seconds(30)},
      {"600", seconds(600)},
      {"601", seconds(600)},
      {"000042", seconds(42)},
      {"99999999999999999999999", seconds(600)},
      {"Thu, 15 May 2025 08:30:03 GMT", seconds(3)},  // 2.75 s left: waited up to it
      {"Thu, 15 May 2025 08:30:00 GMT", seconds(0)},  // just passed
      {"Thu, 01 Jan 1970 00:00:00 GMT", seconds(0)},
      {"Fri, 16 May 2025 08:30:00 GMT", seconds(600)},
      // Dates past what a clock of nanoseconds holds (April 2262) are long
      // waits like any other.
      {"Fri, 11 Apr 2262 23:47:16 GMT", seconds(600)},
      {"Sat, 12 Apr 2262 00:00:00 GMT", seconds(600)},
      {"Sat, 01 Jan 2300 00:00:00 GMT", seconds(600)},
      {"Fri, 31 Dec 9999 23:59:59 GMT", seconds(600)},
      {"Friday, 31-Dec-99 23:59:59 GMT", seconds(0)},  // 1999
      {"Fri Dec 31 23:59:59 9999", seconds(600)},
      {"Mon, 01 Jan 0001 00:00:00 GMT", seconds(0)},
      {"00000000000000000000000000000000000000000000000", seconds(0)},
      {"18446744073709551616", seconds(600)},
      {"9223372036854775808", seconds(600)},
      {"-1", std::nullopt},
      {"1.5", std::nullopt},
      {"soon", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(RetryAfterWait(c.value, now), c.wait) << c.value;
}

TEST(RetryAfter, AnyClockGivesAWaitWithinTenMinutes) {
  using std::chrono::system_clock;
  struct Case {
    const char* name;
    system_clock::time_point now;
    const char* value;
    std::optional<seconds> wait;
  };
  const Case cases[] = {
      {"the clock's last moment (2262)", system_clock::time_point::max(),
       "Fri, 31 Dec 9999 23:59:59 GMT", seconds(600)},
      {"the clock's last moment, an earlier date", system_clock::time_point::max(),
       "Thu, 15 May 2025 08:30:03 GMT", seconds(0)},
      {"the clock's last moment, a delta", system_clock::time_point::max(), "600", seconds(600)},
      {"the clock's first moment (1677)", system_clock::time_point::min(),
       "Thu, 15 May 2025 08:30:03 GMT", seconds(600)},
      {"the clock's first moment, an earlier date", system_clock::time_point::min(),
       "Mon, 01 Jan 0001 00:00:00 GMT", seconds(0)},
  };
  for (const Case& c : cases) EXPECT_EQ(RetryAfterWait(c.value, c.now), c.wait) << c.name;
}

TEST(RetryPolicy, TheDoublingWaitStopsAtAMinute) {
  const int retries[] = {1, 2, 3, 4, 5, 6, 7, 8, 1000000};
  const int waits[] = {1, 2, 4, 8, 16, 32, 60, 60, 60};
  for (std::size_t i = 0; i < std::size(retries); ++i)
    EXPECT_EQ(BackoffWait(retries[i]), seconds(waits[i])) << retries[i];
}

TEST(RetryPolicy, TheReasonIsTheFirstLineOfTheErrorTextAtMost200Characters) {
  const std::string long300(300, 'x');
  std::string twoByte;
  for (int i = 0; i < 210; ++i) twoByte += "\xC8\x9B";  // ț
  struct Case {
    std::string text, reason;
  };
  const Case cases[] = {
      {"HTTP/1.1 503 Service Unavailable\rbusy", "HTTP/1.1 503 Service Unavailable"},
      {"429/Too Many Requests - slow\ndown", "429/Too Many Requests - slow"},
      {"REST request failed: Error reading data: (56) Failure when receiving data from the "
       "peer\r{\"totalPages\":3}",
       "REST request failed: Error reading data: (56) Failure when receiving data from the peer"},
      {"", ""},
      {"\rbody", ""},
      {long300, long300.substr(0, 200)},
      {twoByte, twoByte.substr(0, 400)},
      {"a" + twoByte, "a" + twoByte.substr(0, 398)},
  };
  for (const Case& c : cases) EXPECT_EQ(RetryReason(c.text), c.reason) << c.text;
}

TEST(RetryPolicy, WhatMayPass) {
  TRequestFailure failure;
  failure.Cause = TFailureCause::Transport;
  EXPECT_TRUE(MayPass(failure));
  failure.Cause = TFailureCause::Other;
  EXPECT_FALSE(MayPass(failure));
  failure.Cause = TFailureCause::Status;
  for (const int code : {408, 429, 500, 502, 503, 504}) {
    failure.StatusCode = code;
    EXPECT_TRUE(MayPass(failure)) << code;
  }
  for (const int code : {400, 401, 403, 404, 409, 410, 501, 505, 599, 302}) {
    failure.StatusCode = code;
    EXPECT_FALSE(MayPass(failure)) << code;
  }
}

}  // namespace
}  // namespace kestrava::cli
