// Replays the inputs kept from fuzzing the sandbox's request handling
// through the fuzz target itself, which this test links.

#include <gtest/gtest.h>

#include "tests/support/KeptInputs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace kestrava::sandbox {
namespace {

TEST(SandboxFuzzInputs, KeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_FUZZ_DIR, "sandbox_request",
                                      [](const std::uint8_t* data, std::size_t size) {
                                        LLVMFuzzerTestOneInput(data, size);
                                      }),
            3);
}

}  // namespace
}  // namespace kestrava::sandbox
