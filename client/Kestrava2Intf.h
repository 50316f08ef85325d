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

// The requests of the operations, as a caller that may try one again sees
// them.
enum class TRequestKind { SignIn, Accounts, TransactionPage };

// Why a request failed.
enum class TFailureCause {
  // The exchange broke off while sending, receiving or reading: refused,
  // reset, timed out, closed in the middle of the body. No reply came.
  Transport,
  // A reply came whose status is not 200 (500 and above included).
  Status,
  // Anything else: a reply that cannot be decoded or is not what the
  // operation reads, the redirect limit, a request that cannot be made, a
  // server certificate that fails verification.
  Other,
};

struct TRequestFailure {
  TRequestKind Request = TRequestKind::SignIn;
  int Page = 0;      // of a TransactionPage, from 0
  int Failures = 1;  // failed tries of this request so far, from 1
  TFailureCause Cause = TFailureCause::Other;
  int StatusCode = 0;      // Status: the reply's
  std::string RetryAfter;  // Status: the reply's Retry-After, empty when none
  // The error text the operation ends with unless the request is tried
  // again.
  std::string ErrorText;
  // The failing reply's body as text, when this try got a reply that the
  // response took in (a status other than 200, a reply the operation could
  // not read); empty when none came. After a transport failure the error
  // text ends with an earlier reply instead, which this never holds.
  std::string Reply;
  // Why the server's certificate was refused, when that is what
  // failed ("certificate has expired"); empty otherwise.
  std::string Certificate;
};

// What the operation does after a failed request.
enum class TAfterFailure {
  Fail,    // ends with false and the error text, as without a caller's say
  Repeat,  // tries the same request again: the pages read before stay read
  // signs in again (with the same client, so the cookies stay), then tries
  // the same request again with the new token; a failed sign-in ends the
  // operation with its error text. For the sign-in itself: Repeat.
  SignInAndRepeat,
};

// The production host of the service: the build-time KESTRAVA_SERVICE_HOST,
// or what SetServiceHost gave for this process ("host" or "host:port").
const std::string& ServiceHost();
void SetServiceHost(std::string_view host);
// The build-time host, whatever SetServiceHost gave.
std::string_view DefaultServiceHost() noexcept;

// Something to run while an exchange waits on the service (the window
// repaints from it): once every `interval` for as long as a wait lasts,
// never more often. It gives whether to go on: false breaks the exchange
// in flight off at once, and the operation fails as on any failure of the
// exchange, with "REST request failed: Cancelled by the operator".
struct TWaitHook {
  std::function<bool()> run;
  std::chrono::milliseconds interval{50};
};

class TKestrava_2 {
 public:
  // Wait bound of every exchange, in milliseconds.
  static constexpr int kDefaultTimeout = net::kDefaultTimeoutMs;
  static constexpr int kPageSize = 50;

  // Receives the "result" array of each reply of an export, in order, while
  // the reply still holds it. False ends the export with false and no error
  // text: the receiver's own failure, which it reports itself.
  using TRecordSink = std::function<bool(const TJSONArray& records)>;
  using TFailureHandler = std::function<TAfterFailure(const TRequestFailure&)>;

  // Everything a caller sets up about the object: given to the constructor,
  // so that its sign-in uses it too, and changed through Settings() for the
  // requests that follow. Each request takes the settings as it starts. The
  // window gives the wait hook and a page hook only.
  struct TSettings {
    int Timeout = kDefaultTimeout;  // wait bound of every exchange, in milliseconds
    // Runs while an exchange waits on the service.
    TWaitHook OnWait;
    // Asked after each failed request of an operation; none fails the
    // operation at once. It may wait before it answers.
    TFailureHandler OnRequestFailed;
    // Called after each page of a transaction export has been read: the
    // number of pages read so far (from 1) and the last "totalPages" read.
    std::function<void(int pagesRead, int totalPages)> OnPage;
  };

  // Creates the REST trio (which may throw "Error obtaining session handle")
  // and signs in; sign-in failures never throw.
  TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
              TWaitHook onWait = {});
  TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
              TSettings settings);
  ~TKestrava_2();
  TKestrava_2(const TKestrava_2&) = delete;
  TKestrava_2& operator=(const TKestrava_2&) = delete;

  bool LogIn();
  std::string URLTipMediu() const;
  bool Accounts(TJSONArray& accounts);
  // False when any page fails; the elements of the pages read before stay
  // in Tranz.
  bool GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId, TJSONArray& Tranz);
  // The same exports with each reply's records handed to `sink` instead of
  // copied into an array: same requests, same paging, same error texts (a
  // number that a copy would refuse fails here too).
  bool Accounts(const TRecordSink& sink);
  bool GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId,
                     const TRecordSink& sink);

  const std::string& MesajEroare() const noexcept { return FMesajEroare; }
  std::string ResponseText() const;

  TSettings& Settings() noexcept { return FSettings; }

  bool LogatLaServer = false;
  std::string Token;

 private:
  std::string GetResponseText() const;
  std::string URL(std::string_view path) const;
  // Drops the previous body and parameters, adds the Authorization header
  // with the current token and sets the method GET: the request of every
  // page of an export.
  void PrepareExport();
  // The reply as an object: the response's JSON view when it is one, none
  // otherwise. Owned by the response until its next reply.
  const TJSONObject* ReplyObject() const;
  // Runs an operation under the guard every operation has: any failure
  // gives false and the error text "message" CR "response content".
  template <class Operation>
  bool Guarded(Operation&& operation);
  // Hands the settings to the trio: the time-out and the wait hook.
  void ApplySettings();
  // The one loop of every request: tries `attempt` (true when the request
  // is done) under the guard until it succeeds or the failure handler ends
  // it. Each try starts with no error text.
  template <class Try>
  bool RunWithRetries(TRequestKind kind, int page, Try&& attempt);
  // After a failed try of a request: true when it is to be tried again
  // (after a successful sign-in again when the failure handler asked for
  // one).
  bool TryAgain(TRequestKind request, int page, int failures);
  // One try of the sign-in: the token request and its reply.
  bool RequestToken();
  bool ReadToken(const TJSONObject& reply);
  // Hands a reply's records (none: nothing) to the receiver, and reports a
  // page read, under the guard. Records once handed over are never handed
  // over twice, so a failure in either ends the operation, never to be
  // tried again.
  bool HandOver(const TJSONArray* records, const TRecordSink& sink);
  bool ReportPage(int pagesRead, int totalPages);
  // The two exports of records, whatever receives them.
  bool ExportAccounts(const TRecordSink& sink);
  bool ExportTransactions(TDateTime DataStart, TDateTime DataEnd, int accountId,
                          const TRecordSink& sink);
  // One try of an export request to `url`: the reply object (owned by the
  // response until its next reply), or none with the error text set for a
  // status other than 200 ("code/reason - content") or a 200 reply that is
  // not a JSON object ("StatusCode: code - reason").
  const TJSONObject* ExecuteExport(const std::string& url);

  std::unique_ptr<TRESTClient> FRestClient;
  std::unique_ptr<TRESTRequest> FRestRequest;
  std::unique_ptr<TRESTResponse> FRestResponse;
  std::string FClientID;
  std::string FClientSecret;
  std::string FMesajEroare;
  int FTipMediu;
  TSettings FSettings;
  // Why the last try of a request failed.
  TFailureCause FFailureCause = TFailureCause::Other;
  // The last try of a request got a reply, which the response holds.
  bool FReplyTaken = false;
  // A sign-in got a token since the export prepared its request: the
  // request holds the token request, and its Authorization the old token.
  bool FTokenRenewed = false;
};

// The date-time text of the transaction query: "yyyy-mm-dd" + "T" +
// "hh:nn:ss.zzz" + "Z" with the process-wide FormatSettings (local time,
// not converted).
std::string DateTimeToNetFormat(TDateTime value);

// Decimal integer text with an optional sign and nothing else, within 32
// bits; 0 for anything else.
int PageCountFromText(std::string_view text) noexcept;

}  // namespace kestrava
