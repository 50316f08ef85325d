// Replays the inputs kept for the CLI's fuzz targets through the same code
// the targets run.

#include <gtest/gtest.h>

#include "fuzz/cli/FuzzBodies.h"
#include "tests/support/KeptInputs.h"

namespace kestrava::cli {
namespace {

TEST(CliFuzzInputs, KeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_CLI_FUZZ_DIR, "cli_text", fuzz::ServerText), 0);
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_CLI_FUZZ_DIR, "cli_retrywait", fuzz::RetryWait), 0);
}

}  // namespace
}  // namespace kestrava::cli
