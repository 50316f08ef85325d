// A transaction export of 200 pages of 50 records over TLS on loopback:
// GetTranzactii (exchange, decoding, two parses per page, deep copies)
// against a plain libcurl loop that only downloads the same pages.

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <malloc.h>
#include <sys/resource.h>

#include <memory>
#include <string>
#include <vector>

#include "client/Kestrava2Intf.h"
#include "datetime/DateTime.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ServicePaths.h"

namespace {

using namespace kestrava;
using namespace kestrava::testing;

constexpr int kPages = 200;
constexpr int kRecordsPerPage = 50;

std::string PageReply(int page) {
  std::string body = "{\"status\":\"200 OK\",\"totalPages\":" + std::to_string(kPages) +
                     ",\"pageNumber\":" + std::to_string(page) + ",\"result\":[";
  for (int i = 0; i < kRecordsPerPage; ++i) {
    const int n = page * kRecordsPerPage + i;
    if (i > 0) body += ",";
    body += "{\"transactionId\":\"TX" + std::to_string(100000000 + n) +
            "\",\"accountId\":\"RO49KEST1B31007593840000\",\"bookingDate\":\"2025-05-14\","
            "\"valueDate\":\"2025-05-14T08:30:00.000Z\",\"amount\":" +
            std::to_string(n % 9000) + "." + std::to_string(10 + n % 90) +
            ",\"currency\":\"RON\",\"creditDebit\":\"" + (n % 3 == 0 ? "CREDIT" : "DEBIT") +
            "\",\"counterparty\":\"S.C. \u0218tefan & Fiii S.R.L.\",\"description\":"
            "\"Plat\u0103 factur\u0103 nr. " +
            std::to_string(n) + " \\\"energie\\\"\",\"balanceAfter\":12345.67}";
  }
  body += "]}";
  return HttpReply(200, "OK", {"Content-Type: application/json; charset=utf-8"}, body);
}

struct Fixture {
  Fixture() {
    TrustTestCa();
    SetServiceHost(server.HostPort());
    for (int page = 0; page < kPages; ++page) pages.push_back(PageReply(page));
  }
  void EnqueuePages() {
    for (const std::string& page : pages) server.Enqueue(Reply(page));
  }
  ScriptedServer server;
  std::vector<std::string> pages;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_GetTranzactii(benchmark::State& state) {
  Fixture& f = Shared();
  f.server.Enqueue(
      Reply(HttpReply(200, "OK", {"Content-Type: application/json"},
                      R"({"status":"200 OK","result":{"accessToken":"bench-token"}})")));
  TKestrava_2 client("id", "secret", 1);
  if (!client.LogatLaServer) {
    state.SkipWithError(client.MesajEroare().c_str());
    return;
  }
  const TDateTime start = EncodeDateTime(2025, 1, 1, 0, 0, 0, 0);
  const TDateTime end = EncodeDateTime(2025, 6, 1, 0, 0, 0, 0);
  std::size_t heldBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    f.EnqueuePages();
    const std::size_t before = mallinfo2().uordblks;
    auto tranz = std::make_unique<TJSONArray>();
    state.ResumeTiming();
    const bool ok = client.GetTranzactii(start, end, 0, *tranz);
    state.PauseTiming();
    if (!ok || tranz->Count() != kPages * kRecordsPerPage) {
      state.SkipWithError(("export failed: " + client.MesajEroare()).c_str());
      break;
    }
    heldBytes = mallinfo2().uordblks - before;
    tranz.reset();
    state.ResumeTiming();
  }
  state.counters["pages"] = kPages;
  state.counters["connections"] = f.server.ConnectionsAccepted();
  state.counters["records_MB"] = static_cast<double>(heldBytes) / 1e6;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1e3;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void* sink) {
  static_cast<std::string*>(sink)->append(size * count, '\0');
  return size * count;
}

void BM_PlainCurlLoop(benchmark::State& state) {
  Fixture& f = Shared();
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_CAINFO, TestCaFile().c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
  std::string sink;
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  const std::string base = "https://" + f.server.HostPort() + std::string(kTransactionsPath) +
                           "?startDate=2025-01-01T00:00:00.000Z&endDate=2025-06-01T00:00:00.000Z"
                           "&pageNumber=";
  for (auto _ : state) {
    state.PauseTiming();
    f.EnqueuePages();
    state.ResumeTiming();
    for (int page = 0; page < kPages; ++page) {
      const std::string url = base + std::to_string(page) + "&pageSize=50";
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      sink.clear();
      if (curl_easy_perform(curl) != CURLE_OK) {
        state.SkipWithError("download failed");
        break;
      }
    }
  }
  curl_easy_cleanup(curl);
  state.counters["pages"] = kPages;
}

// The JSON share of the export without any exchange: parse each page body
// once and deep-copy its records, as GetTranzactii does.
void BM_ParseAndCopyOnly(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<std::string> bodies;
  for (const std::string& page : f.pages) bodies.push_back(page.substr(page.find("\r\n\r\n") + 4));
  for (auto _ : state) {
    TJSONArray tranz;
    for (const std::string& body : bodies) {
      const std::unique_ptr<TJSONValue> reply = ParseJSONValue(body);
      const TJSONArray* result = reply->GetValue<TJSONArray>("result");
      for (std::size_t i = 0; i < result->Count(); ++i) tranz.AddElement(result->Get(i)->Clone());
    }
    benchmark::DoNotOptimize(tranz.Count());
  }
}

// Loopback timings on a shared machine are noisy: compare the medians.
BENCHMARK(BM_PlainCurlLoop)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);
BENCHMARK(BM_GetTranzactii)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);
BENCHMARK(BM_ParseAndCopyOnly)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
