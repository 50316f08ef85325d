#include "bench/common/TransactionExport.h"

#include <cstdint>
#include <cstdio>

namespace kestrava::bench {

namespace {

class Random {
 public:
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint64_t state_ = 0x4b657374726176ULL;
};

const char* const kCurrencies[] = {"EUR", "RON", "USD", "GBP"};
const char* const kStatuses[] = {"BOOKED", "PENDING"};
const char* const kNames[] = {"Kestrel Supplies Ltd", "Müller & Söhne GmbH",
                              "Café Central",         "Orbital Hardware SRL",
                              "Northwind Traders",    "Fresh Market \\\"Bio\\\""};
const char* const kCities[] = {"Bucuresti", "Berlin", "Wien", "Cluj-Napoca", "Paris"};
const char* const kWords[] = {"card", "payment",   "transfer", "invoice", "ref",    "monthly",
                              "fee",  "groceries", "rent",     "salary",  "refund", "online"};

}  // namespace

std::string MakeTransactionExport(int records) {
  Random random;
  std::string out;
  out.reserve(static_cast<std::size_t>(records) * 400 + 2);
  out += '[';
  char buffer[1024];
  for (int i = 0; i < records; ++i) {
    if (i != 0) out += ',';
    std::string description;
    const int words = 1 + static_cast<int>(random.Below(3));
    for (int w = 0; w < words; ++w) {
      if (w != 0) description += ' ';
      description += kWords[random.Below(12)];
    }
    description += " / " + std::to_string(random.Next() % 1000000);
    // Every draw in its own statement: the text is the same with any compiler.
    const std::uint32_t suffix = random.Below(0x10000);
    const std::uint32_t account = 1000 + random.Below(9000);
    const std::uint32_t month = 1 + random.Below(12);
    const std::uint32_t day = 1 + random.Below(28);
    const std::uint32_t hour = random.Below(24);
    const std::uint32_t minute = random.Below(60);
    const std::uint32_t second = random.Below(60);
    const std::uint32_t cents = random.Below(500000);
    const char* currency = kCurrencies[random.Below(4)];
    const char* status = kStatuses[random.Below(2)];
    const char* counterparty = kNames[random.Below(6)];
    const std::uint32_t check = random.Below(100);
    const std::uint32_t iban = random.Below(100000000);
    const std::uint32_t balance = random.Below(10000000);
    const bool reversed = random.Below(10) == 0;
    const char* merchant = kNames[random.Below(6)];
    const char* city = kCities[random.Below(5)];
    const std::uint32_t mcc = random.Below(10000);
    std::snprintf(
        buffer, sizeof buffer,
        "{\"id\":\"TX-%08d-%04X\",\"accountId\":%u,"
        "\"booked\":\"2024-%02u-%02uT%02u:%02u:%02u\",\"valued\":\"2024-%02u-%02u\","
        "\"amount\":%s%u.%02u,\"currency\":\"%s\",\"direction\":\"%s\","
        "\"status\":\"%s\",\"description\":\"%s\",\"payee\":\"%s\","
        "\"payeeIban\":\"RO%02uKEST%010u\",\"balance\":%u.%02u,\"reversed\":%s,"
        "\"category\":null,\"merchant\":{\"name\":\"%s\",\"city\":\"%s\",\"mcc\":\"%04u\"}}",
        i, suffix, account, month, day, hour, minute, second, month, day, (cents & 1) ? "-" : "",
        cents / 100, cents % 100, currency, (cents & 1) ? "DBIT" : "CRDT", status,
        description.c_str(), counterparty, check, iban, balance / 100, balance % 100,
        reversed ? "true" : "false", merchant, city, mcc);
    out += buffer;
  }
  out += ']';
  return out;
}

}  // namespace kestrava::bench
