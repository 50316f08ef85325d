#include "client/Kestrava2Intf.h"

#include <string>
#include <utility>

#include "net/REST.h"

namespace kestrava {
namespace {

constexpr std::string_view kJsonContentType = "application/json";

constexpr std::string_view kTokenPath =
    "/qorn-web-gateway/tavel-authenticate-api/rest/api/authenticate/qorn-web/tokens";
constexpr std::string_view kAccountsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-accounts";
constexpr std::string_view kTransactionsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-transactions";

// A receiver that appends a deep copy of every element to `target`. Count
// is read once: the caller's array is never the reply's.
TKestrava_2::TRecordSink Appender(TJSONArray& target) {
  return [&target](const TJSONArray& result) {
    const std::size_t count = result.Count();
    for (std::size_t i = 0; i < count; ++i) target.AddElement(result.Get(i)->Clone());
    return true;
  };
}

// A receiver that takes the records where they are, after the check a copy
// would make.
TKestrava_2::TRecordSink Checked(const TKestrava_2::TRecordSink& sink) {
  return [&sink](const TJSONArray& result) {
    result.CheckClone();
    return sink(result);
  };
}

// The stages at which a connection breaks off; a failure at any other (a
// request that cannot be made, the redirect limit, a reply that cannot be
// decoded) is no passing trouble of the connection.
TFailureCause CauseOf(TExchangeStage stage) {
  switch (stage) {
    case TExchangeStage::Sending:
    case TExchangeStage::Receiving:
    case TExchangeStage::Reading:
      return TFailureCause::Transport;
    case TExchangeStage::ServerError:
      return TFailureCause::Status;  // 500 and above
    default:
      return TFailureCause::Other;
  }
}

// The window's settings: the defaults and a wait hook.
TKestrava_2::TSettings WaitHookOnly(TWaitHook onWait) {
  TKestrava_2::TSettings settings;
  settings.OnWait = std::move(onWait);
  return settings;
}

}  // namespace

TKestrava_2::TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
                         TWaitHook onWait)
    : TKestrava_2(ClientID, ClientSecret, TipMediu, WaitHookOnly(std::move(onWait))) {}

TKestrava_2::TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
                         TSettings settings)
    : FClientID(ClientID),
      FClientSecret(ClientSecret),
      FTipMediu(TipMediu),
      FSettings(std::move(settings)) {
  FRestClient = std::make_unique<TRESTClient>();
  FRestRequest = std::make_unique<TRESTRequest>();
  FRestResponse = std::make_unique<TRESTResponse>();

  FRestClient->SetAccept(net::kDefaultAccept);
  FRestClient->SetAcceptCharset(net::kDefaultAcceptCharset);
  FRestClient->SetContentType(kJsonContentType);

  FRestRequest->SetClient(FRestClient.get());
  FRestRequest->SetAccept(net::kDefaultAccept);
  FRestRequest->SetAcceptCharset(net::kDefaultAcceptCharset);
  FRestRequest->SetTimeout(FSettings.Timeout);
  FRestRequest->SetResponse(FRestResponse.get());

  LogatLaServer = LogIn();
}

TKestrava_2::~TKestrava_2() {
  // The request only points at the other two; unlink it so no object ever
  // sees a freed partner, then free client, request and response in that
  // order (reset clears the reference before deleting the object).
  if (FRestRequest) {
    FRestRequest->SetClient(nullptr);
    FRestRequest->SetResponse(nullptr);
  }
  FRestClient.reset();
  FRestRequest.reset();
  FRestResponse.reset();
}

void TKestrava_2::ApplySettings() {
  FRestRequest->SetTimeout(FSettings.Timeout);
  FRestClient->SetWaitHook(FSettings.OnWait.run, FSettings.OnWait.interval);
}

std::string TKestrava_2::URLTipMediu() const {
  return FTipMediu == 2 ? "api.test." : "";
}

std::string TKestrava_2::URL(std::string_view path) const {
  std::string url = "https://";
  url += URLTipMediu();
  url += ServiceHost();
  url += path;
  return url;
}

template <class Operation>
bool TKestrava_2::Guarded(Operation&& operation) {
  std::string message;
  try {
    return operation();
  } catch (const ERESTException& e) {
    // A certificate that fails verification now fails it on every try.
    FFailureCause = e.CertificateRejected() ? TFailureCause::Other : CauseOf(e.Stage());
    // A server error's reply fills the response before it is raised.
    FReplyTaken = FReplyTaken || e.Stage() == TExchangeStage::ServerError;
    message = e.Message();
  } catch (const Exception& e) {
    FFailureCause = TFailureCause::Other;
    message = e.Message();
  } catch (const std::exception& e) {
    FFailureCause = TFailureCause::Other;
    message = e.what();
  }
  FMesajEroare = std::move(message);
  FMesajEroare += '\r';
  FMesajEroare += FRestResponse->Content();
  return false;
}

const TJSONObject* TKestrava_2::ReplyObject() const {
  // The reply is read straight from the response's JSON view. Serialising
  // the view and parsing that text again would give an equal tree (every
  // parsed value's compact text re-parses to an equal value), so the copy is
  // skipped: it would double the parsing work of every page.
  const TJSONValue* view = FRestResponse->JSONValue();
  if (view == nullptr || view->Kind() != TJSONKind::Object) return nullptr;
  return static_cast<const TJSONObject*>(view);
}

template <class Try>
bool TKestrava_2::RunWithRetries(TRequestKind kind, int page, Try&& attempt) {
  for (int failures = 1;; ++failures) {
    FMesajEroare.clear();
    FFailureCause = TFailureCause::Other;
    FReplyTaken = false;
    ApplySettings();
    if (Guarded(attempt)) return true;
    if (!TryAgain(kind, page, failures)) return false;
  }
}

bool TKestrava_2::TryAgain(TRequestKind request, int page, int failures) {
  if (!FSettings.OnRequestFailed) return false;
  TRequestFailure failure;
  failure.Request = request;
  failure.Page = page;
  failure.Failures = failures;
  failure.Cause = FFailureCause;
  if (FFailureCause == TFailureCause::Status) {
    failure.StatusCode = FRestResponse->StatusCode();
    failure.RetryAfter = FRestResponse->HeaderFields().Value("Retry-After");
  }
  failure.ErrorText = FMesajEroare;
  if (FReplyTaken) failure.Reply = FRestResponse->Content();
  // Empty unless the last exchange failed on the server's certificate (a
  // failure of no passing cause, so never tried again).
  failure.Certificate = FRestClient->CertificateProblem();
  switch (FSettings.OnRequestFailed(failure)) {
    case TAfterFailure::Fail:
      return false;
    case TAfterFailure::Repeat:
      return true;
    case TAfterFailure::SignInAndRepeat:
      // A sign-in that fails ends the operation with its own error text.
      return request == TRequestKind::SignIn || LogIn();
  }
  return false;
}

bool TKestrava_2::LogIn() {
  return RunWithRetries(TRequestKind::SignIn, 0, [this] { return RequestToken(); });
}

bool TKestrava_2::RequestToken() {
  FRestClient->SetBaseURL(URL(kTokenPath));
  FRestRequest->SetMethod(rmPOST);
  FRestRequest->ClearBody();
  FRestRequest->Params().Clear();
  {
    TJSONObject body;
    body.AddPair("grant_type", "client_credentials");
    body.AddPair("client_id", FClientID);
    body.AddPair("client_secret", FClientSecret);
    FRestRequest->AddBody(body.ToString(), kJsonContentType);
  }

  FRestRequest->Execute();
  FReplyTaken = true;

  if (FRestResponse->StatusCode() != 200) {
    FFailureCause = TFailureCause::Status;
    FMesajEroare = "StatusCode: " + std::to_string(FRestResponse->StatusCode()) + " - " +
                   FRestResponse->StatusText() + "\r" + FRestResponse->Content();
    return false;
  }
  const TJSONObject* reply = ReplyObject();
  return reply != nullptr && ReadToken(*reply);
}

bool TKestrava_2::ReadToken(const TJSONObject& reply) {
  Token.clear();
  if (reply.GetValue("status", "") != "200 OK") {
    FMesajEroare = "Status = " + reply.GetValue("status", "") + " " + reply.GetValue("message", "");
    return false;
  }
  if (const TJSONObject* tokenResult = reply.GetValue<TJSONObject>("result")) {
    Token = tokenResult->GetValue("accessToken", "");
  }
  if (Token.empty()) {
    FMesajEroare = "Token NULL !";
    return false;
  }
  FTokenRenewed = true;
  return true;
}

void TKestrava_2::PrepareExport() {
  FRestRequest->ClearBody();
  FRestRequest->Params().Clear();
  FRestRequest->AddParameter("Authorization", "Bearer " + Token, pkHTTPHEADER,
                             static_cast<unsigned>(poDoNotEncode));
  FRestRequest->SetMethod(rmGET);
  FTokenRenewed = false;
}

const TJSONObject* TKestrava_2::ExecuteExport(const std::string& url) {
  // A sign-in in the middle of the export left the token request in place.
  if (FTokenRenewed) PrepareExport();
  FRestClient->SetBaseURL(url);
  FRestRequest->Execute();
  FReplyTaken = true;
  if (FRestResponse->StatusCode() != 200) {
    FFailureCause = TFailureCause::Status;
    FMesajEroare = std::to_string(FRestResponse->StatusCode()) + "/" + FRestResponse->StatusText() +
                   " - " + FRestResponse->Content();
    return nullptr;
  }
  const TJSONObject* reply = ReplyObject();
  if (reply == nullptr) {
    FMesajEroare = "StatusCode: " + std::to_string(FRestResponse->StatusCode()) + " - " +
                   FRestResponse->StatusText();
  }
  return reply;
}

bool TKestrava_2::Accounts(TJSONArray& accounts) {
  return ExportAccounts(Appender(accounts));
}

bool TKestrava_2::Accounts(const TRecordSink& sink) {
  return ExportAccounts(Checked(sink));
}

bool TKestrava_2::GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId,
                                TJSONArray& Tranz) {
  return ExportTransactions(DataStart, DataEnd, accountId, Appender(Tranz));
}

bool TKestrava_2::GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId,
                                const TRecordSink& sink) {
  return ExportTransactions(DataStart, DataEnd, accountId, Checked(sink));
}

bool TKestrava_2::HandOver(const TJSONArray* records, const TRecordSink& sink) {
  return Guarded([&] { return records == nullptr || sink(*records); });
}

bool TKestrava_2::ReportPage(int pagesRead, int totalPages) {
  return Guarded([&] {
    if (FSettings.OnPage) FSettings.OnPage(pagesRead, totalPages);
    return true;
  });
}

bool TKestrava_2::ExportAccounts(const TRecordSink& sink) {
  FMesajEroare.clear();
  const bool prepared = Guarded([this] {
    PrepareExport();
    return true;
  });
  if (!prepared) return false;
  const TJSONArray* records = nullptr;
  const bool read = RunWithRetries(TRequestKind::Accounts, 0, [&] {
    const TJSONObject* reply = ExecuteExport(URL(kAccountsPath));
    if (reply == nullptr) return false;
    records = reply->GetValue<TJSONArray>("result");
    return true;
  });
  return read && HandOver(records, sink);
}

bool TKestrava_2::ExportTransactions(TDateTime DataStart, TDateTime DataEnd, int accountId,
                                     const TRecordSink& sink) {
  FMesajEroare.clear();
  std::string queryStart, accountPart;
  const bool prepared = Guarded([&] {
    const std::string startText = DateTimeToNetFormat(DataStart);
    const std::string endText = DateTimeToNetFormat(DataEnd);
    PrepareExport();
    queryStart =
        URL(kTransactionsPath) + "?startDate=" + startText + "&endDate=" + endText + "&pageNumber=";
    if (accountId > 0) accountPart = "&accountId=" + std::to_string(accountId);
    return true;
  });
  if (!prepared) return false;

  int Page = 0;
  int TotaLPages = 0;
  do {
    const TJSONArray* records = nullptr;
    const bool read = RunWithRetries(TRequestKind::TransactionPage, Page, [&] {
      // SetURL
      const TJSONObject* reply = ExecuteExport(queryStart + std::to_string(Page) + accountPart +
                                               "&pageSize=" + std::to_string(kPageSize));
      if (reply == nullptr) return false;
      // GetResult
      TotaLPages = PageCountFromText(reply->GetValue("totalPages", ""));
      records = reply->GetValue<TJSONArray>("result");
      return true;
    });
    // A failing page ends the export with false: a partial export never
    // reads as complete. The pages read before stay with the receiver.
    if (!read || !HandOver(records, sink) || !ReportPage(Page + 1, TotaLPages)) return false;
    ++Page;
  } while (Page < TotaLPages);
  return true;
}

std::string TKestrava_2::ResponseText() const {
  return GetResponseText();
}

std::string TKestrava_2::GetResponseText() const {
  const TJSONValue* view = FRestResponse->JSONValue();
  if (view == nullptr) return {};
  const std::unique_ptr<TJSONValue> parsed = ParseJSONValue(view->ToString());
  if (parsed == nullptr) return {};
  std::string text = parsed->ToString();
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
  return text;
}

}  // namespace kestrava
