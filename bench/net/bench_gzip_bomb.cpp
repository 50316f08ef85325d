// A reply whose gzip body inflates to 1 GiB of zeros (about 1 MB on the
// wire), which the requests never asked for. The REST trio must refuse it
// once the text passes its bound ("insufficient memory") with its peak
// memory far below the inflated size; beside it, a plain libcurl loop
// that inflates and discards the whole body, same server, same run.
// Counters: peak resident memory of the run (MB) and body bytes on the wire.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <zlib.h>

#include <array>
#include <memory>
#include <string>

#include "bench/common/ProcessMemory.h"
#include "net/REST.h"
#include "tests/support/ScriptedServer.h"

namespace {

using kestrava::testing::HttpReply;
using kestrava::testing::Reply;
using kestrava::testing::ScriptedServer;

constexpr std::size_t kInflatedSize = std::size_t{1} << 30;

// gzip data of 1 GiB of zeros, deflated in pieces so it never exists whole.
const std::string& GzipBomb() {
  static const std::string gzip = [] {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    static const std::array<unsigned char, 1 << 20> zeros{};
    std::array<unsigned char, 1 << 16> out;
    std::string data;
    for (std::size_t fed = 0; fed <= kInflatedSize; fed += zeros.size()) {
      const bool last = fed == kInflatedSize;
      stream.next_in = const_cast<unsigned char*>(zeros.data());
      stream.avail_in = last ? 0 : static_cast<uInt>(zeros.size());
      do {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
        data.append(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out);
      } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return data;
  }();
  return gzip;
}

std::string BombReply() {
  return HttpReply(200, "OK", {"Content-Type: application/json", "Content-Encoding: gzip"},
                   GzipBomb());
}

void Report(benchmark::State& state, double peakMb) {
  state.counters["peak MB"] = peakMb;
  state.counters["wire MB"] = static_cast<double>(GzipBomb().size()) / 1e6;
}

void BM_RestTrioRefusesTheBomb(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  ScriptedServer server;
  const std::string reply = BombReply();
  kestrava::TRESTClient client;
  kestrava::TRESTRequest request;
  kestrava::TRESTResponse response;
  request.SetClient(&client);
  request.SetResponse(&response);
  client.SetBaseURL("https://localhost:" + std::to_string(server.Port()) + "/bomb");
  double peakMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    server.Enqueue(Reply(reply));
    kestrava::bench::ResetPeakMemory();
    state.ResumeTiming();
    try {
      request.Execute();
      state.SkipWithError("the bomb was taken");
    } catch (const kestrava::ERESTException& failure) {
      if (failure.Message() != "REST request failed: insufficient memory")
        state.SkipWithError(failure.what());
    }
    state.PauseTiming();
    peakMb = std::max(peakMb, kestrava::bench::StatusMb("VmHWM"));
    state.ResumeTiming();
  }
  Report(state, peakMb);
}

size_t Discard(char*, size_t size, size_t count, void* user) {
  *static_cast<std::size_t*>(user) += size * count;
  return size * count;
}

void BM_PlainLibcurlInflatesAndDiscards(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  ScriptedServer server;
  const std::string reply = BombReply();
  const std::string url = "https://localhost:" + std::to_string(server.Port()) + "/bomb";
  double peakMb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    server.Enqueue(Reply(reply));
    kestrava::bench::ResetPeakMemory();
    CURL* easy = curl_easy_init();
    std::size_t inflated = 0;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_CAINFO, kestrava::testing::TestCaFile().c_str());
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &inflated);
    state.ResumeTiming();
    if (curl_easy_perform(easy) != CURLE_OK || inflated != kInflatedSize)
      state.SkipWithError("transfer failed");
    state.PauseTiming();
    curl_easy_cleanup(easy);
    peakMb = std::max(peakMb, kestrava::bench::StatusMb("VmHWM"));
    state.ResumeTiming();
  }
  Report(state, peakMb);
}

BENCHMARK(BM_PlainLibcurlInflatesAndDiscards)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RestTrioRefusesTheBomb)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
