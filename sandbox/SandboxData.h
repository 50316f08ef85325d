#pragma once

// The sandbox's made-up bank data: accounts with IBANs and Romanian names,
// and transactions spread over the past days. Everything follows from the
// environment, the scale and the day, so the same day always gives the
// same data and a transaction never changes once it exists.

#include <cstdint>
#include <string>
#include <vector>

#include "sandbox/CivilTime.h"

namespace kestrava::sandbox {

enum class Environment { Production, Test };

struct DataScale {
  int accounts = 4;             // 1 to kMaxAccounts
  int transactionsPerDay = 36;  // over all accounts; 0 to kMaxTransactionsPerDay
  int days = 400;               // how far back the history goes
};

inline constexpr int kMaxAccounts = 200;
inline constexpr int kMaxTransactionsPerDay = 2000;
// Bounds the memory of the whole history (about 32 bytes a transaction).
inline constexpr long long kMaxTransactionsInHistory = 2'000'000;

struct Account {
  int id = 0;  // the number the transaction export filters by (accountId)
  std::string iban;
  std::string name;
  std::string owner;
  std::string currency;
  std::string bank;
  std::string bic;
  std::int64_t balanceCents = 0;
};

// Kept small: the texts are looked up in fixed tables when a reply is made.
struct Transaction {
  LocalMillis time = 0;
  std::int64_t amountCents = 0;
  std::uint32_t sequence = 0;  // number within its day
  std::uint16_t account = 0;   // index into the accounts
  std::uint16_t kind = 0;      // index into the kinds table
  std::uint16_t counterparty = 0;
  std::uint16_t detail = 0;  // varies the description (invoice number etc.)
};

struct DataSet {
  Environment environment = Environment::Production;
  std::vector<Account> accounts;
  std::vector<Transaction> transactions;  // oldest first
  // For each account, the positions of its transactions in `transactions`,
  // oldest first, so that a page of one account is found without a scan.
  std::vector<std::vector<std::uint32_t>> transactionsOfAccount;
};

// Transactions of the days [today - scale.days, today]; the ones of today
// include those later than now (callers cut at the time they read).
DataSet MakeDataSet(Environment environment, const DataScale& scale, std::int64_t today);

// A transaction as a JSON object; an amended one has another description.
std::string TransactionJson(const DataSet& data, const Transaction& transaction,
                            bool amended = false);

// Whether the transaction is among `percent` (0-100) of all; `salt` makes
// each use pick a share of its own.
bool InShare(const Transaction& transaction, int percent, std::uint64_t salt);

// What an amended transaction's description ends in.
inline constexpr char kAmendedMark[] = " (rectificat)";
// An account as a JSON object.
std::string AccountJson(const Account& account);

// Check digits computed the ISO 13616 way: "RO" + 2 digits + bban.
std::string MakeIban(const std::string& country, const std::string& bban);

}  // namespace kestrava::sandbox
