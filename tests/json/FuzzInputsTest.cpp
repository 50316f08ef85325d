// Replays the inputs kept from fuzzing the JSON parser through the fuzz
// target itself, which this test links.

#include <gtest/gtest.h>

#include "tests/support/KeptInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace kestrava {
namespace {

void ParseInput(const std::uint8_t* data, std::size_t size) {
  LLVMFuzzerTestOneInput(data, size);
}

TEST(JsonFuzzInputs, KeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_FUZZ_DIR, "json_parse", ParseInput), 5);
}

// The records kept for the record writers' target are JSON texts too.
TEST(JsonFuzzInputs, TheRecordWritersKeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_OUTPUT_FUZZ_DIR, "output_records", ParseInput), 0);
}

}  // namespace
}  // namespace kestrava
