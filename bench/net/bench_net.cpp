// The transaction export's access pattern: 1,000 pages of 50 records, one
// after another, over one TLS connection. The REST trio against a plain
// libcurl easy-handle loop fetching the same URLs from the same kind of
// server in the same run. Counters: pages per second and TLS handshakes.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "net/REST.h"
#include "net/RequestDefaults.h"
#include "tests/support/ScriptedServer.h"

namespace {

using kestrava::testing::HttpReply;
using kestrava::testing::Reply;
using kestrava::testing::ScriptedServer;

constexpr int kPages = 1000;

std::string PageBody() {
  std::string body = "{\"totalPages\":1000,\"result\":[";
  for (int i = 0; i < 50; ++i) {
    if (i > 0) body += ",";
    body += "{\"transactionId\":\"tx-" + std::to_string(100000 + i) +
            "\",\"accountId\":17,\"bookingDate\":\"2025-05-14T08:30:00.000Z\","
            "\"amount\":{\"value\":\"-123.45\",\"currency\":\"RON\"},"
            "\"description\":\"Card payment \\u0103\\u00ee\\u0219 merchant " +
            std::to_string(i) + "\",\"status\":\"BOOKED\"}";
  }
  return body + "]}";
}

std::string PagePath(int page) {
  return "/v2/transactions?accountId=17&dateFrom=2025-05-01T00:00:00.000Z&dateTo=2025-05-31T23:"
         "59:59.000Z&page=" +
         std::to_string(page) + "&pageSize=50";
}

std::unique_ptr<ScriptedServer> ServerWithPages() {
  auto server = std::make_unique<ScriptedServer>();
  const std::string reply =
      HttpReply(200, "OK", {"Content-Type: application/json; charset=utf-8"}, PageBody());
  for (int i = 0; i < kPages; ++i) server->Enqueue(Reply(reply));
  return server;
}

std::string UrlOf(const ScriptedServer& server, int page) {
  return "https://localhost:" + std::to_string(server.Port()) + PagePath(page);
}

// The figures both loops report: TLS handshakes of the last run and pages per second.
void Report(benchmark::State& state, int handshakes, std::size_t bytes) {
  state.counters["handshakes"] = handshakes;
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(kPages) * state.iterations(),
                                                 benchmark::Counter::kIsRate);
  benchmark::DoNotOptimize(bytes);
}

void BM_RestTrio(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  int handshakes = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = ServerWithPages();
    kestrava::TRESTClient client;
    kestrava::TRESTRequest request;
    kestrava::TRESTResponse response;
    request.SetClient(&client);
    request.SetResponse(&response);
    client.SetContentType("application/json");
    request.SetTimeout(kestrava::net::kDefaultTimeoutMs);
    request.AddParameter("Authorization", "Bearer token==", kestrava::pkHTTPHEADER,
                         static_cast<unsigned>(kestrava::poDoNotEncode));
    state.ResumeTiming();
    for (int page = 0; page < kPages; ++page) {
      client.SetBaseURL(UrlOf(*server, page));
      request.Execute();
      bytes += response.Content().size();
    }
    state.PauseTiming();
    handshakes = server->HandshakesCompleted();
    server.reset();
    state.ResumeTiming();
  }
  Report(state, handshakes, bytes);
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_PlainLibcurl(benchmark::State& state) {
  kestrava::testing::TrustTestCa();
  curl_global_init(CURL_GLOBAL_DEFAULT);
  int handshakes = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = ServerWithPages();
    CURL* easy = curl_easy_init();
    std::string body;
    curl_slist* headers = curl_slist_append(nullptr, "Authorization: Bearer token==");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_CAINFO, kestrava::testing::TestCaFile().c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    state.ResumeTiming();
    for (int page = 0; page < kPages; ++page) {
      body.clear();
      curl_easy_setopt(easy, CURLOPT_URL, UrlOf(*server, page).c_str());
      if (curl_easy_perform(easy) != CURLE_OK) state.SkipWithError("transfer failed");
      bytes += body.size();
    }
    state.PauseTiming();
    curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
    handshakes = server->HandshakesCompleted();
    server.reset();
    state.ResumeTiming();
  }
  Report(state, handshakes, bytes);
}

BENCHMARK(BM_PlainLibcurl)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_RestTrio)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
