#include "sandbox/SandboxData.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "sandbox/JsonText.h"

namespace kestrava::sandbox {

namespace {

// splitmix64: small, fast and good enough for made-up data.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // 0 .. bound-1
  std::uint64_t Below(std::uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low + 1)));
  }

 private:
  std::uint64_t state_;
};

struct Bank {
  const char* name;
  const char* code;  // four letters of the IBAN
  const char* bic;
};

constexpr std::array<Bank, 5> kBanks{{
    {"Banca Transilvania", "BTRL", "BTRLRO22"},
    {"Banca Comercială Română", "RNCB", "RNCBROBU"},
    {"BRD - Groupe Société Générale", "BRDE", "BRDEROBU"},
    {"ING Bank N.V. Amsterdam - Sucursala București", "INGB", "INGBROBU"},
    {"CEC Bank", "CECE", "CECEROBU"},
}};

struct AccountKind {
  const char* name;
  const char* currency;
};

constexpr std::array<AccountKind, 6> kAccountKinds{{
    {"Cont curent în lei", "RON"},
    {"Cont curent în euro", "EUR"},
    {"Cont în dolari pentru export", "USD"},
    {"Cont de economii „Dobândă Plus”", "RON"},
    {"Cont colector încasări POS", "RON"},
    {"Cont salarii și diurne", "RON"},
}};

constexpr std::array<const char*, 4> kProductionOwners{
    "Țesătoria Bârsei SRL",
    "Ștefănescu & Asociații Consultanță SRL",
    "Pâine și Cozonac Tradițional SA",
    "Mărțișor Logistică Internațională SRL",
};

constexpr std::array<const char*, 3> kTestOwners{
    "Firmă de Test Înghețată SRL",
    "Întreprindere Individuală Șerban Țurcanu",
    "Asociația Probă și Verificare",
};

struct Counterparty {
  const char* name;
  const char* city;
};

constexpr std::array<Counterparty, 14> kCounterparties{{
    {"Mega Image SRL", "București"},
    {"Enel Energie Muntenia SA", "București"},
    {"Agenția Națională de Administrare Fiscală", "București"},
    {"Orange România SA", "București"},
    {"OMV Petrom Marketing SRL", "Brașov"},
    {"Dedeman SRL", "Bacău"},
    {"Țiriac Auto SRL", "Otopeni"},
    {"Ștefan Ionescu PFA", "Iași"},
    {"Brânzeturi Câmpulung SRL", "Câmpulung Moldovenesc"},
    {"Distrigaz Sud Rețele SRL", "Timișoara"},
    {"Fan Courier Express SRL", "Cluj-Napoca"},
    {"Hotel Ciucaș Bâlea Lac SRL", "Sibiu"},
    {"Ana Maria Pătrașcu", "Târgu Mureș"},
    {"Primăria Municipiului Constanța", "Constanța"},
}};

enum class Direction { Debit, Credit };

// Who is on the other side: one of the listed counterparties, the account
// holder itself (own transfers) or the account's bank (fees, interest, ATM).
enum class Party { Listed, Holder, Bank };

struct Kind {
  const char* description;  // %s: counterparty city, %u: a number from the detail
  Direction direction;
  std::int64_t minimumCents;
  std::int64_t maximumCents;
  bool hasCounterpartyIban;
  Party party;
  std::array<std::uint8_t, 4> counterparties;  // indexes into kCounterparties
};

constexpr std::array<Kind, 12> kKinds{{
    {"Plată card POS %s", Direction::Debit, 350, 85'000, false, Party::Listed, {0, 4, 5, 11}},
    {"Încasare factură FCT-%u",
     Direction::Credit,
     15'000,
     2'500'000,
     true,
     Party::Listed,
     {6, 7, 8, 10}},
    {"Plată furnizor conform facturii nr. %u",
     Direction::Debit,
     9'000,
     1'800'000,
     true,
     Party::Listed,
     {1, 9, 10, 8}},
    {"Transfer între conturi proprii",
     Direction::Debit,
     50'000,
     3'000'000,
     true,
     Party::Holder,
     {0, 0, 0, 0}},
    {"Comision administrare cont", Direction::Debit, 500, 4'500, false, Party::Bank, {0, 0, 0, 0}},
    {"Salariu și bonus lunar, ștat %u",
     Direction::Debit,
     300'000,
     1'200'000,
     true,
     Party::Listed,
     {12, 7, 12, 7}},
    {"Rambursare TVA, decizia %u",
     Direction::Credit,
     100'000,
     5'000'000,
     true,
     Party::Listed,
     {2, 2, 2, 2}},
    {"Chirie spațiu comercial %s",
     Direction::Debit,
     150'000,
     900'000,
     true,
     Party::Listed,
     {13, 11, 13, 11}},
    {"Abonament telefonie și internet",
     Direction::Debit,
     4'000,
     60'000,
     false,
     Party::Listed,
     {3, 3, 3, 3}},
    {"Retragere numerar ATM %s",
     Direction::Debit,
     5'000,
     200'000,
     false,
     Party::Bank,
     {0, 4, 8, 12}},
    {"Dobândă creditoare lunară", Direction::Credit, 1, 25'000, false, Party::Bank, {0, 0, 0, 0}},
    {"Încasare OP client, ref. %u",
     Direction::Credit,
     2'000,
     750'000,
     true,
     Party::Listed,
     {6, 7, 8, 12}},
}};

std::uint64_t Seed(Environment environment, std::int64_t a, std::int64_t b) {
  Random mix(0x4B657374726176ULL ^ (environment == Environment::Test ? 0x7E57ULL : 0ULL));
  std::uint64_t seed = mix.Next() ^ static_cast<std::uint64_t>(a);
  Random again(seed);
  return again.Next() ^ (static_cast<std::uint64_t>(b) * 0x9E3779B97F4A7C15ULL);
}

std::string Digits(Random& random, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += static_cast<char>('0' + random.Below(10));
  return text;
}

std::vector<Account> MakeAccounts(Environment environment, int count) {
  std::vector<Account> accounts;
  Random random(Seed(environment, 1, count));
  for (int i = 0; i < count; ++i) {
    Account account;
    account.id = i + 1;
    const Bank& bank = kBanks[static_cast<std::size_t>(i) % kBanks.size()];
    if (environment == Environment::Production && i == 0) {
      account.iban = "RO49AAAA1B31007593840000";  // the usual example IBAN of Romania
    } else {
      account.iban = MakeIban("RO", std::string(bank.code) + Digits(random, 16));
    }
    account.bank = bank.name;
    account.bic = bank.bic;
    const AccountKind& kind = kAccountKinds[static_cast<std::size_t>(i) % kAccountKinds.size()];
    account.currency = kind.currency;
    account.name = kind.name;
    account.owner =
        environment == Environment::Production
            ? kProductionOwners[static_cast<std::size_t>(i / 2) % kProductionOwners.size()]
            : kTestOwners[static_cast<std::size_t>(i / 2) % kTestOwners.size()];
    account.balanceCents = random.Between(10'000, 250'000'000);
    accounts.push_back(std::move(account));
  }
  return accounts;
}

std::string CounterpartyIban(const Transaction& transaction) {
  Random random(0xC0FFEEULL + transaction.counterparty * 7919ULL);
  const Bank& bank = kBanks[transaction.counterparty % kBanks.size()];
  return MakeIban("RO", std::string(bank.code) + Digits(random, 16));
}

std::string Description(const Transaction& transaction) {
  const Kind& kind = kKinds[transaction.kind];
  const Counterparty& counterparty = kCounterparties[transaction.counterparty];
  std::string text = kind.description;
  const std::size_t city = text.find("%s");
  if (city != std::string::npos) text.replace(city, 2, counterparty.city);
  const std::size_t number = text.find("%u");
  if (number != std::string::npos)
    text.replace(number, 2, std::to_string(1000 + transaction.detail));
  return text;
}

}  // namespace

std::string MakeIban(const std::string& country, const std::string& bban) {
  // Move the country and "00" to the end, letters become 10..35, then mod 97.
  const std::string rearranged = bban + country + "00";
  int remainder = 0;
  for (char c : rearranged) {
    const int value = (c >= '0' && c <= '9') ? c - '0' : (c & ~0x20) - 'A' + 10;
    remainder = (value >= 10 ? remainder * 100 : remainder * 10) + value;
    remainder %= 97;
  }
  const int check = 98 - remainder;
  const char digits[] = {static_cast<char>('0' + check / 10), static_cast<char>('0' + check % 10),
                         '\0'};
  return country + digits + bban;
}

DataSet MakeDataSet(Environment environment, const DataScale& scale, std::int64_t today) {
  DataSet data;
  data.environment = environment;
  data.accounts = MakeAccounts(environment, std::clamp(scale.accounts, 1, kMaxAccounts));
  const int days = std::clamp(scale.days, 1, 3650);
  const int perDay = std::clamp(scale.transactionsPerDay, 0,
                                static_cast<int>(std::min<long long>(
                                    kMaxTransactionsPerDay, kMaxTransactionsInHistory / days)));
  data.transactions.reserve(static_cast<std::size_t>(perDay) * static_cast<std::size_t>(days + 1));
  for (std::int64_t day = today - days; day <= today; ++day) {
    Random random(Seed(environment, day, static_cast<std::int64_t>(data.accounts.size())));
    // A few more or fewer on some days, but on average perDay.
    const int count =
        perDay == 0 ? 0 : static_cast<int>(random.Between(perDay * 3 / 4, perDay * 5 / 4));
    const std::size_t first = data.transactions.size();
    for (int i = 0; i < count; ++i) {
      Transaction transaction;
      transaction.time =
          day * kMillisPerDay + static_cast<LocalMillis>(random.Below(kMillisPerDay));
      transaction.account = static_cast<std::uint16_t>(random.Below(data.accounts.size()));
      transaction.kind = static_cast<std::uint16_t>(random.Below(kKinds.size()));
      const Kind& kind = kKinds[transaction.kind];
      transaction.counterparty = kind.counterparties[random.Below(kind.counterparties.size())];
      transaction.detail = static_cast<std::uint16_t>(random.Below(9000));
      std::int64_t cents = random.Between(kind.minimumCents, kind.maximumCents);
      if (data.accounts[transaction.account].currency != "RON")
        cents = std::max<std::int64_t>(1, cents / 5);
      transaction.amountCents = kind.direction == Direction::Debit ? -cents : cents;
      data.transactions.push_back(transaction);
    }
    auto begin = data.transactions.begin() + static_cast<std::ptrdiff_t>(first);
    std::sort(begin, data.transactions.end(),
              [](const Transaction& a, const Transaction& b) { return a.time < b.time; });
    std::uint32_t sequence = 0;
    for (auto it = begin; it != data.transactions.end(); ++it) it->sequence = ++sequence;
  }
  data.transactionsOfAccount.resize(data.accounts.size());
  for (std::size_t i = 0; i < data.transactions.size(); ++i)
    data.transactionsOfAccount[data.transactions[i].account].push_back(
        static_cast<std::uint32_t>(i));
  return data;
}

std::string AccountJson(const Account& account) {
  std::string out = "{";
  bool first = true;
  AppendMember(out, first, "accountId", std::to_string(account.id));
  AppendMember(out, first, "iban", Quoted(account.iban));
  AppendMember(out, first, "name", Quoted(account.name));
  AppendMember(out, first, "owner", Quoted(account.owner));
  AppendMember(out, first, "currency", Quoted(account.currency));
  AppendMember(out, first, "bankName", Quoted(account.bank));
  AppendMember(out, first, "bic", Quoted(account.bic));
  AppendMember(out, first, "balance", AmountText(account.balanceCents));
  AppendMember(out, first, "status", Quoted("ACTIVE"));
  out += '}';
  return out;
}

bool InShare(const Transaction& transaction, int percent, std::uint64_t salt) {
  if (percent <= 0) return false;
  Random random(salt ^ (static_cast<std::uint64_t>(transaction.time) * 0x9E3779B97F4A7C15ULL) ^
                transaction.sequence);
  return static_cast<int>(random.Below(100)) < percent;
}

std::string TransactionJson(const DataSet& data, const Transaction& transaction, bool amended) {
  const Account& account = data.accounts[transaction.account];
  const Kind& kind = kKinds[transaction.kind];
  char id[48];
  std::snprintf(id, sizeof id, "%s%s-%04u-%02u",
                data.environment == Environment::Test ? "TST" : "TRX",
                FormatDate(transaction.time).c_str(), transaction.sequence,
                static_cast<unsigned>(account.id % 100));
  std::string out = "{";
  bool first = true;
  AppendMember(out, first, "transactionId", Quoted(id));
  AppendMember(out, first, "accountId", std::to_string(account.id));
  AppendMember(out, first, "iban", Quoted(account.iban));
  AppendMember(out, first, "bookingDate", Quoted(FormatDateTime(transaction.time)));
  AppendMember(out, first, "valueDate", Quoted(FormatDate(transaction.time)));
  AppendMember(out, first, "amount", AmountText(transaction.amountCents));
  AppendMember(out, first, "currency", Quoted(account.currency));
  AppendMember(out, first, "creditDebitIndicator",
               Quoted(kind.direction == Direction::Credit ? "CRDT" : "DBIT"));
  AppendMember(
      out, first, "description",
      Quoted(amended ? Description(transaction) + kAmendedMark : Description(transaction)));
  const char* counterparty = kind.party == Party::Holder ? account.owner.c_str()
                             : kind.party == Party::Bank
                                 ? account.bank.c_str()
                                 : kCounterparties[transaction.counterparty].name;
  AppendMember(out, first, "counterpartyName", Quoted(counterparty));
  AppendMember(out, first, "counterpartyIban",
               !kind.hasCounterpartyIban ? std::string("null")
               : kind.party == Party::Holder
                   ? Quoted(data.accounts[(transaction.account + 1u) % data.accounts.size()].iban)
                   : Quoted(CounterpartyIban(transaction)));
  out += '}';
  return out;
}

}  // namespace kestrava::sandbox
