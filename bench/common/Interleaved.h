#pragma once

// Google Benchmark set up with its runs interleaved at random, so that a
// program and its peer see the same moments of a shared, busy machine.
// Options given on the command line come after and may override it.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace kestrava::bench {

inline void InitializeInterleaved(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  static std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
}

}  // namespace kestrava::bench
