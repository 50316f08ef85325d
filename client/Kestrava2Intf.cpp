#include "client/Kestrava2Intf.h"

#include <new>
#include <sstream>
#include <string>
#include <utility>

#include "net/REST.h"

namespace kestrava {
namespace {

constexpr std::string_view AcceptText = net::kDefaultAccept;
constexpr std::string_view AcceptCharsetText = net::kDefaultAcceptCharset;
constexpr std::string_view JsonContentType = "application/json";

constexpr std::string_view TokenPath =
    "/qorn-web-gateway/tavel-authenticate-api/rest/api/authenticate/qorn-web/tokens";
constexpr std::string_view AccountsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-accounts";
constexpr std::string_view TransactionsPath =
    "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-transactions";

// Appends a deep copy of every element of the reply's "result" array.
// Count is read once: the caller's array is never the reply's.
void AppendResult(const TJSONObject& reply, TJSONArray& target) {
  const TJSONArray* result = reply.GetValue<TJSONArray>("result");
  if (result == nullptr) return;
  const std::size_t count = result->Count();
  for (std::size_t i = 0; i < count; ++i) target.AddElement(result->Get(i)->Clone());
}

}  // namespace

TKestrava_2::TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu,
                         TWaitHook onWait)
    : FClientID(ClientID), FClientSecret(ClientSecret), FTipMediu(TipMediu) {
  FRestClient = std::make_unique<TRESTClient>();
  if (onWait.run) FRestClient->SetWaitHook(std::move(onWait.run), onWait.interval);
  FRestRequest = std::make_unique<TRESTRequest>();
  FRestResponse = std::make_unique<TRESTResponse>();

  FRestClient->SetAccept(AcceptText);
  FRestClient->SetAcceptCharset(AcceptCharsetText);
  FRestClient->SetContentType(JsonContentType);

  FRestRequest->SetClient(FRestClient.get());
  FRestRequest->SetAccept(AcceptText);
  FRestRequest->SetAcceptCharset(AcceptCharsetText);
  FRestRequest->SetTimeout(DefaultTimeout);
  FRestRequest->SetResponse(FRestResponse.get());
  FRestRequest->SetAccept(AcceptText);

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

void TKestrava_2::SetTimeout(int milliseconds) noexcept {
  FRestRequest->SetTimeout(milliseconds);
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
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
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

const TJSONObject* TKestrava_2::ExecuteExport() {
  FRestRequest->Execute();
  if (FRestResponse->StatusCode() != 200) {
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

bool TKestrava_2::LogIn() {
  FMesajEroare.clear();
  return Guarded([this] {
    FRestClient->SetBaseURL(URL(TokenPath));
    FRestRequest->SetMethod(rmPOST);
    FRestRequest->ClearBody();
    FRestRequest->Params().Clear();
    {
      TJSONObject body;
      body.AddPair("grant_type", "client_credentials");
      body.AddPair("client_id", FClientID);
      body.AddPair("client_secret", FClientSecret);
      std::istringstream stream(body.ToString());
      FRestRequest->AddBody(stream, JsonContentType, ooCopy);
    }

    FRestRequest->Execute();

    if (FRestResponse->StatusCode() != 200) {
      FMesajEroare = "StatusCode: " + std::to_string(FRestResponse->StatusCode()) + " - " +
                     FRestResponse->StatusText() + "\r" + FRestResponse->Content();
      return false;
    }
    const TJSONObject* reply = ReplyObject();
    if (reply == nullptr) return false;

    // ReadToken
    Token.clear();
    if (reply->GetValue("status", "") != "200 OK") {
      FMesajEroare =
          "Status = " + reply->GetValue("status", "") + " " + reply->GetValue("message", "");
      return false;
    }
    if (const TJSONObject* tokenResult = reply->GetValue<TJSONObject>("result")) {
      Token = tokenResult->GetValue("accessToken", "");
    }
    if (Token.empty()) {
      FMesajEroare = "Token NULL !";
      return false;
    }
    return true;
  });
}

void TKestrava_2::PrepareExport() {
  FRestRequest->ClearBody();
  FRestRequest->Params().Clear();
  FRestRequest->AddParameter("Authorization", "Bearer " + Token, pkHTTPHEADER,
                             static_cast<unsigned>(poDoNotEncode));
  FRestRequest->SetMethod(rmGET);
}

bool TKestrava_2::Accounts(TJSONArray& accounts) {
  FMesajEroare.clear();
  return Guarded([&] {
    FRestClient->SetBaseURL(URL(AccountsPath));
    PrepareExport();
    const TJSONObject* reply = ExecuteExport();
    if (reply == nullptr) return false;
    AppendResult(*reply, accounts);
    return true;
  });
}

bool TKestrava_2::GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId,
                                TJSONArray& Tranz) {
  FMesajEroare.clear();
  return Guarded([&] {
    const std::string startText = DateTimeToNetFormat(DataStart);
    const std::string endText = DateTimeToNetFormat(DataEnd);
    PrepareExport();

    const std::string queryStart =
        URL(TransactionsPath) + "?startDate=" + startText + "&endDate=" + endText + "&pageNumber=";
    const std::string accountPart =
        accountId > 0 ? "&accountId=" + std::to_string(accountId) : std::string();

    int Page = 0;
    int TotaLPages = 0;
    do {
      // SetURL
      FRestClient->SetBaseURL(queryStart + std::to_string(Page) + accountPart +
                              "&pageSize=" + std::to_string(PageSize));
      // A failing page ends the export with false: a partial export never
      // reads as complete. The pages read before stay in Tranz.
      const TJSONObject* reply = ExecuteExport();
      if (reply == nullptr) return false;
      // GetResult
      TotaLPages = PageCountFromText(reply->GetValue("totalPages", ""));
      AppendResult(*reply, Tranz);
      ++Page;
      if (OnPage) OnPage(Page, TotaLPages);
    } while (Page < TotaLPages);
    return true;
  });
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
