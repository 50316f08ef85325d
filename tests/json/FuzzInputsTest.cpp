// Replays the inputs kept from fuzzing the JSON parser through the fuzz
// target itself, which this test links.

#include <gtest/gtest.h>

#include "tests/support/KeptInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace kestrava {
namespace {

TEST(JsonFuzzInputs, KeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_FUZZ_DIR, "json_parse",
                                      [](const std::uint8_t* data, std::size_t size) {
                                        LLVMFuzzerTestOneInput(data, size);
                                      }),
            5);
}

}  // namespace
}  // namespace kestrava
