#include "app/ParallelFind.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace kestrava {

namespace {

// Each piece takes a thread a few milliseconds: short enough for a near
// match, long enough for the hand-out not to count.
constexpr std::size_t kPiece = std::size_t{4} << 20;
// Past a few, threads only share the memory's speed.
constexpr unsigned kMostThreads = 4;

// Calls read(runFrom, runTo) for each run of [from, to) made of chunks that
// may hold a match's start, in order from the end the search starts at, as
// long as it gives true. With no keys the run is the whole range.
template <class Read>
void ForEachRun(const TFindSummary& summary, const TFindSummary::TKeys& keys, std::size_t from,
                std::size_t to, bool forward, Read&& read) {
  if (from >= to) return;
  if (keys.Empty()) {
    read(from, to);
    return;
  }
  constexpr std::size_t kChunk = TFindSummary::kChunk;
  const std::size_t first = from / kChunk;
  const std::size_t last = (to - 1) / kChunk;
  const auto mayHold = [&](std::size_t chunk) { return summary.MayHold(chunk, keys); };
  const auto clip = [&](std::size_t lowChunk, std::size_t highChunk) {
    return std::pair{std::max(from, lowChunk * kChunk), std::min(to, (highChunk + 1) * kChunk)};
  };
  if (forward) {
    for (std::size_t chunk = first; chunk <= last; ++chunk) {
      if (!mayHold(chunk)) continue;
      std::size_t end = chunk;
      while (end < last && mayHold(end + 1)) ++end;
      const auto [runFrom, runTo] = clip(chunk, end);
      if (!read(runFrom, runTo)) return;
      chunk = end;
    }
  } else {
    for (std::size_t chunk = last + 1; chunk-- > first;) {
      if (!mayHold(chunk)) continue;
      std::size_t begin = chunk;
      while (begin > first && mayHold(begin - 1)) --begin;
      const auto [runFrom, runTo] = clip(begin, chunk);
      if (!read(runFrom, runTo)) return;
      chunk = begin;
    }
  }
}

}  // namespace

std::size_t FindWithSummary(const TTextSearch& search, const TFindSummary& summary,
                            std::string_view text, std::size_t from, std::size_t to,
                            TFindDirection direction, unsigned threads) {
  to = std::min(to, text.size());
  std::size_t match = TTextSearch::npos;
  ForEachRun(summary, TFindSummary::KeysOf(search.Folded()), from, to,
             direction == TFindDirection::Forward, [&](std::size_t runFrom, std::size_t runTo) {
               match = FindInParallel(search, text, runFrom, runTo, direction, threads);
               return match == TTextSearch::npos;
             });
  return match;
}

std::size_t CountWithSummary(const TTextSearch& search, const TFindSummary& summary,
                             std::string_view text, std::size_t from, std::size_t to) {
  to = std::min(to, text.size());
  std::size_t count = 0;
  ForEachRun(summary, TFindSummary::KeysOf(search.Folded()), from, to, true,
             [&](std::size_t runFrom, std::size_t runTo) {
               count += search.Count(text, runFrom, runTo);
               return true;
             });
  return count;
}

std::size_t FindInParallel(const TTextSearch& search, std::string_view text, std::size_t from,
                           std::size_t to, TFindDirection direction, unsigned threads) {
  constexpr std::size_t npos = TTextSearch::npos;
  to = std::min(to, text.size());
  if (from >= to) return npos;
  const bool forward = direction == TFindDirection::Forward;
  if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
  const std::size_t pieces = (to - from + kPiece - 1) / kPiece;
  if (threads <= 1 || pieces <= 1)
    return forward ? search.FindForward(text, from, to) : search.FindBackward(text, from, to);

  // Piece i is the i-th from the end the search starts at. Every piece
  // before the earliest one with a match is read whole; those after it are
  // left as soon as it is known.
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> earliest{pieces};
  std::vector<std::size_t> found(pieces, npos);  // each written by the thread reading its piece
  const auto work = [&] {
    for (;;) {
      const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
      if (i >= pieces || i > earliest.load(std::memory_order_relaxed)) return;
      const std::size_t near = i * kPiece;
      const std::size_t far = std::min(near + kPiece, to - from);
      const std::size_t match = forward ? search.FindForward(text, from + near, from + far)
                                        : search.FindBackward(text, to - far, to - near);
      if (match == npos) continue;
      found[i] = match;
      std::size_t seen = earliest.load(std::memory_order_relaxed);
      while (i < seen && !earliest.compare_exchange_weak(seen, i, std::memory_order_relaxed)) {
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    const std::size_t helping = std::min<std::size_t>(threads - 1, pieces - 1);
    for (std::size_t k = 0; k < helping; ++k) {
      try {
        helpers.emplace_back(work);
      } catch (const std::system_error&) {
        break;  // no more threads to be had: the others share the pieces
      }
    }
    work();
  }  // the helpers are joined here, and what they found is seen
  const std::size_t piece = earliest.load();
  return piece < pieces ? found[piece] : npos;
}

}  // namespace kestrava
