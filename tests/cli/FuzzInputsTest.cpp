// Replays the inputs kept for the CLI's fuzz targets through the same code
// the targets run.

#include <gtest/gtest.h>

#include "fuzz/cli/FuzzBodies.h"
#include "tests/support/KeptInputs.h"

namespace kestrava::cli {
namespace {

TEST(CliFuzzInputs, KeptInputsRunCleanly) {
  const struct {
    const char* name;
    testing::FuzzInput run;
  } targets[] = {
      {"cli_text", fuzz::ServerText},
      {"cli_records", fuzz::Records},
  };
  for (const auto& target : targets) {
    SCOPED_TRACE(target.name);
    EXPECT_GT(testing::ReplayKeptInputs(KESTRAVA_CLI_FUZZ_DIR, target.name, target.run), 0);
  }
}

TEST(CliFuzzInputs, TheCsvCheckCountsCellsAsAReaderDoes) {
  std::size_t rows = 0;
  EXPECT_EQ(fuzz::CellsPerRow("a,b\r\n\"x,\"\"y\",\r\n", rows), 2);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(fuzz::CellsPerRow("a,b\r\n1\r\n", rows), -1);
  EXPECT_EQ(fuzz::CellsPerRow("a\r\n\"open\r\n", rows), -1);
  EXPECT_EQ(fuzz::CellsPerRow("a\r\nno end", rows), -1);
}

}  // namespace
}  // namespace kestrava::cli
