// Replays the inputs kept for the record writers' fuzz target through the
// same code the target runs.

#include <gtest/gtest.h>

#include "fuzz/output/FuzzBodies.h"
#include "tests/support/KeptInputs.h"

namespace kestrava {
namespace {

TEST(OutputFuzzInputs, KeptInputsRunCleanly) {
  EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_OUTPUT_FUZZ_DIR, "output_records", fuzz::Records),
            0);
}

TEST(OutputFuzzInputs, TheCsvCheckCountsCellsAsAReaderDoes) {
  std::size_t rows = 0;
  EXPECT_EQ(fuzz::CellsPerRow("a,b\r\n\"x,\"\"y\",\r\n", rows), 2);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(fuzz::CellsPerRow("a,b\r\n1\r\n", rows), -1);
  EXPECT_EQ(fuzz::CellsPerRow("a\r\n\"open\r\n", rows), -1);
  EXPECT_EQ(fuzz::CellsPerRow("a\r\nno end", rows), -1);
}

}  // namespace
}  // namespace kestrava
