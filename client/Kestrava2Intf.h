#pragma once

// TKestrava_2: the program's model of the Kestrava service. Construction
// signs in; Accounts and GetTranzactii export into a caller's JSON array.

#include <memory>
#include <string>
#include <string_view>

#include "datetime/DateTime.h"
#include "json/JSON.h"

namespace kestrava {

class TRESTClient;
class TRESTRequest;
class TRESTResponse;

// The production host of the service: the build-time KESTRAVA_SERVICE_HOST,
// or what SetServiceHost gave for this process ("host" or "host:port").
const std::string& ServiceHost();
void SetServiceHost(std::string_view host);

class TKestrava_2 {
 public:
  // Creates the REST trio (which may throw "Error obtaining session handle")
  // and signs in; sign-in failures never throw.
  TKestrava_2(std::string_view ClientID, std::string_view ClientSecret, int TipMediu);
  ~TKestrava_2();
  TKestrava_2(const TKestrava_2&) = delete;
  TKestrava_2& operator=(const TKestrava_2&) = delete;

  bool LogIn();
  std::string URLTipMediu() const;
  bool Accounts(TJSONArray& accounts);
  bool GetTranzactii(TDateTime DataStart, TDateTime DataEnd, int accountId, TJSONArray& Tranz);

  const std::string& MesajEroare() const noexcept { return FMesajEroare; }
  std::string ResponseText() const;

  bool LogatLaServer = false;
  std::string Token;

 private:
  std::string GetResponseText() const;

  std::unique_ptr<TRESTClient> FRestClient;
  std::unique_ptr<TRESTRequest> FRestRequest;
  std::unique_ptr<TRESTResponse> FRestResponse;
  std::string FClientID;
  std::string FClientSecret;
  std::string FMesajEroare;
  int FTipMediu;
};

}  // namespace kestrava
