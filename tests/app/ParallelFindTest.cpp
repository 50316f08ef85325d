#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ParallelFind.h"

namespace kestrava {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t npos = TTextSearch::npos;

// A text of several pieces of the parallel search with "Needle" written at
// the offsets given: at the ends of pieces, across them, nowhere.
std::string TextWith(std::size_t size, const std::vector<std::size_t>& at) {
  std::string text(size, 'x');
  for (std::size_t i = 0; i < size; i += 97) text[i] = '\n';
  for (const std::size_t offset : at) text.replace(offset, 6, "Needle");
  return text;
}

TEST(ParallelFind, GivesWhatOneThreadFindsInEitherDirection) {
  struct Case {
    const char* what;
    std::vector<std::size_t> at;
  };
  const std::size_t size = 17 * kMiB + 5;
  const Case cases[] = {
      {"none", {}},
      {"at the very start", {0}},
      {"at the very end", {size - 6}},
      {"across the end of the first piece", {4 * kMiB - 3}},
      {"at the start of a later piece", {8 * kMiB}},
      {"in the last piece only", {16 * kMiB + 100}},
      {"in the first and the last piece", {10, size - 6}},
      {"many, overlapping pieces", {3 * kMiB, 4 * kMiB - 1, 9 * kMiB + 7, 12 * kMiB - 2}},
  };
  const TTextSearch search("needle");  // no capital: "Needle" matches
  struct Range {
    std::size_t from, to;
  };
  const Range ranges[] = {{0, size}, {4 * kMiB - 2, size}, {0, 12 * kMiB}, {5, 6}, {size, size}};
  for (const Case& c : cases) {
    const std::string text = TextWith(size, c.at);
    for (const Range r : ranges) {
      for (const unsigned threads : {1u, 2u, 3u, 8u, 0u}) {
        SCOPED_TRACE(std::string(c.what) + ", [" + std::to_string(r.from) + ", " +
                     std::to_string(r.to) + "), threads " + std::to_string(threads));
        EXPECT_EQ(FindInParallel(search, text, r.from, r.to, TFindDirection::Forward, threads),
                  search.FindForward(text, r.from, r.to));
        EXPECT_EQ(FindInParallel(search, text, r.from, r.to, TFindDirection::Backward, threads),
                  search.FindBackward(text, r.from, r.to));
      }
    }
  }
}

TEST(ParallelFind, ARangeBeyondTheTextEndsWithIt) {
  const std::string text = TextWith(9 * kMiB, {9 * kMiB - 6});
  const TTextSearch search("Needle");
  EXPECT_EQ(FindInParallel(search, text, 0, 20 * kMiB, TFindDirection::Forward, 2), 9 * kMiB - 6);
  EXPECT_EQ(FindInParallel(search, text, 20 * kMiB, 30 * kMiB, TFindDirection::Backward, 2), npos);
}

}  // namespace
}  // namespace kestrava
