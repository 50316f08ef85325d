#pragma once

// TKestrava_2: the program's model of the Kestrava service. Construction
// signs in; Accounts and GetTranzactii export into a caller's JSON array.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "datetime/DateTime.h"
#include "json/JSON.h"
#include "net/RequestDefaults.h"

namespace kestrava {

class TRESTClient;
class TRESTRequest;
class TRESTResponse;

// The production host of the service: the build-time KESTRAVA_SERVICE_HOST,
// or what SetServiceHost gave for this process ("host" or "host:port").
const std::string& ServiceHost();
void SetServiceHost(std::string_view host);

// Something to run while an exchange waits on the service (the window
// repaints from it): once every `interval` for as long as a wait lasts,
// never more often.
struct TWaitHook {
  std::function<void()> run;
  std::chrono::milliseconds interval{50};
};

class TKestrava_2 {
 public:
  // Wait bound of every exchange, in milliseconds.
  static constexpr int DefaultTimeout = net::kDefaultTimeoutMs;
  static constexpr int PageSize = 50;

  // Creates the REST trio (which may throw "Error obtaining session handle")
  // and signs in; sign-in failures never throw. The wait hook serves every
  // exchange of the object, the sign-in included.
  TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
              TWaitHook onWait = {});
  ~TKestrava_2();
  TKestrava_2(const TKestrava_2&) = delete;
  TKestrava_2& operator=(const TKestrava_2&) = delete;

  bool LogIn();
  std::string URLTipMediu() const;
  bool Accounts(TJSONArray& accounts);
  // False when any page fails; the elements of the pages read before stay
  // in Tranz.
  bool GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId, TJSONArray& Tranz);

  const std::string& MesajEroare() const noexcept { return FMesajEroare; }
  std::string ResponseText() const;

  // Changes the wait bound of the following exchanges (tests and tools; the
  // constructor's sign-in always uses DefaultTimeout).
  void SetTimeout(int milliseconds) noexcept;

  bool LogatLaServer = false;
  std::string Token;

  // Called after each page of a transaction export has been read: the number
  // of pages read so far (from 1) and the last "totalPages" read.
  std::function<void(int pagesRead, int totalPages)> OnPage;

 private:
  std::string GetResponseText() const;
  std::string URL(std::string_view path) const;
  // Drops the previous body and parameters and adds the Authorization header.
  void PrepareExport();
  // The reply as an object: the response's JSON view when it is one, none
  // otherwise. Owned by the response until its next reply.
  const TJSONObject* ReplyObject() const;
  // Runs an operation under the guard every operation has: any failure
  // gives false and the error text "message" CR "response content".
  template <class Operation>
  bool Guarded(Operation&& operation);
  // Executes an export request and gives the reply object (owned by the
  // response until its next reply). None, with the error text set, for a
  // status other than 200 ("code/reason - content") or a 200 reply that is
  // not a JSON object ("StatusCode: code - reason").
  const TJSONObject* ExecuteExport();

  std::unique_ptr<TRESTClient> FRestClient;
  std::unique_ptr<TRESTRequest> FRestRequest;
  std::unique_ptr<TRESTResponse> FRestResponse;
  std::string FClientID;
  std::string FClientSecret;
  std::string FMesajEroare;
  int FTipMediu;
};

// The date-time text of the transaction query: "yyyy-mm-dd" + "T" +
// "hh:nn:ss.zzz" + "Z" with the process-wide FormatSettings (local time,
// not converted).
std::string DateTimeToNetFormat(TDateTime value);

// Decimal integer text with an optional sign and nothing else, within 32
// bits; 0 for anything else.
int PageCountFromText(std::string_view text) noexcept;

}  // namespace kestrava
