// Replays the inputs kept from fuzzing (crashes found once, and the seeds)
// through the same code the fuzz targets run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <vector>

#include "fuzz/net/FuzzBodies.h"

namespace kestrava::net {
namespace {

TEST(FuzzRegression, KeptInputsRunCleanly) {
  const std::map<std::string, std::function<void(const std::uint8_t*, std::size_t)>> targets{
      {"net_setcookie", fuzz::SetCookie},
      {"net_contenttype", fuzz::ContentType},
      {"net_statusline", fuzz::StatusLineParse},
      {"net_location", fuzz::Location},
      {"net_decode", fuzz::Decode},
  };
  const std::filesystem::path root = KESTRAVA_NET_FUZZ_DIR;
  int replayed = 0;
  for (const char* kind : {"regressions", "seeds"}) {
    for (const auto& [name, run] : targets) {
      const auto folder = root / kind / name;
      if (!std::filesystem::is_directory(folder)) continue;
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        SCOPED_TRACE(entry.path().string());
        run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
      }
    }
  }
  EXPECT_GT(replayed, 5);
}

}  // namespace
}  // namespace kestrava::net
