// Replays the inputs kept from fuzzing (crashes found once, and the seeds)
// through the same code the fuzz targets run.

#include <gtest/gtest.h>

#include "fuzz/net/FuzzBodies.h"
#include "tests/support/KeptInputs.h"

namespace kestrava::net {
namespace {

TEST(NetFuzzInputs, KeptInputsRunCleanly) {
  const struct {
    const char* name;
    testing::FuzzInput run;
  } targets[] = {
      {"net_setcookie", fuzz::SetCookie},     {"net_cookiestore", fuzz::CookieStoreLife},
      {"net_contenttype", fuzz::ContentType}, {"net_statusline", fuzz::StatusLineParse},
      {"net_location", fuzz::Location},       {"net_decode", fuzz::Decode},
  };
  for (const auto& target : targets) {
    SCOPED_TRACE(target.name);
    EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_FUZZ_DIR, target.name, target.run), 0);
  }
}

}  // namespace
}  // namespace kestrava::net
