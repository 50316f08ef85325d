// A reply whose chunked body never ends (1 MiB chunks, up to 1 GiB before
// the server gives up). The REST trio must refuse it once the body passes
// its bound (64 MiB, "Maximum file size exceeded") with its peak memory at
// most three times that bound; beside it, a plain libcurl loop that
// discards the body and stops at the same bound, same server, same run.
// Counters: peak resident memory of the run (MB), and the bound (MB).

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <string>

#include "bench/common/ProcessMemory.h"
#include "net/REST.h"
#include "net/RequestDefaults.h"
#include "tests/support/ScriptedServer.h"

namespace {

using kestrava::testing::Reply;
using kestrava::testing::ScriptedServer;

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr std::size_t kChunks = 1024;

Reply EndlessReply() {
  static const std::string chunk = "100000\r\n" + std::string(kChunk, 'x') + "\r\n";
  return Reply()
      .Send(
          "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n")
      .Repeat(chunk, kChunks);
}

void Report(benchmark::State& state, double peakMb) {
  state.counters["peak MB"] = peakMb;
  state.counters["bound MB"] = static_cast<double>(kestrava::net::kMaxReplyBodyBytes) / (1 << 20);
}

void BM_RestTrioRefusesTheEndlessBody(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  ScriptedServer server;
  kestrava::TRESTClient client;
  kestrava::TRESTRequest request;
  kestrava::TRESTResponse response;
  request.SetClient(&client);
  request.SetResponse(&response);
  request.SetTimeout(5000);
  client.SetBaseURL("https://localhost:" + std::to_string(server.Port()) + "/endless");
  double peakMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    server.Enqueue(EndlessReply());
    kestrava::bench::ResetPeakMemory();
    state.ResumeTiming();
    try {
      request.Execute();
      state.SkipWithError("the endless body was taken");
    } catch (const kestrava::ERESTException& failure) {
      if (failure.Message() !=
          "REST request failed: Error reading data: (63) Maximum file size exceeded")
        state.SkipWithError(failure.what());
    }
    state.PauseTiming();
    peakMb = std::max(peakMb, kestrava::bench::StatusMb("VmHWM"));
    state.ResumeTiming();
  }
  Report(state, peakMb);
}

size_t DiscardUpToTheBound(char*, size_t size, size_t count, void* user) {
  auto& received = *static_cast<std::size_t*>(user);
  received += size * count;
  return received > kestrava::net::kMaxReplyBodyBytes ? 0 : size * count;
}

void BM_PlainLibcurlDiscardsUpToTheBound(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  ScriptedServer server;
  const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/endless";
  double peakMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    server.Enqueue(EndlessReply());
    kestrava::bench::ResetPeakMemory();
    CURL* easy = curl_easy_init();
    std::size_t received = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO, kestrava::testing::TestCaFile().c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, DiscardUpToTheBound);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
    state.ResumeTiming();
    if (curl_easy_perform(easy) != CURLE_WRITE_ERROR) state.SkipWithError("no bound reached");
    state.PauseTiming();
    curl_easy_cleanup(easy);
    peakMb = std::max(peakMb, kestrava::bench::StatusMb("VmHWM"));
    state.ResumeTiming();
  }
  Report(state, peakMb);
}

BENCHMARK(BM_PlainLibcurlDiscardsUpToTheBound)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RestTrioRefusesTheEndlessBody)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
