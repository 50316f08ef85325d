#pragma once

// The REST trio through which the API client makes every request:
// TRESTClient (base URL, client-wide header settings, the transport handle
// and the cookie store), TRESTRequest (method, parameters, body, time-out;
// performs the exchange with Execute) and TRESTResponse (the last reply).

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/HeaderList.h"
#include "json/JSON.h"
#include "net/NetExceptions.h"

namespace kestrava {

enum class TRESTRequestMethod { rmGET, rmPOST };
using enum TRESTRequestMethod;

enum class TRESTRequestParameterKind { pkHTTPHEADER, pkREQUESTBODY };
using enum TRESTRequestParameterKind;

enum class TRESTRequestParameterOption : unsigned { poDoNotEncode = 1 };
using enum TRESTRequestParameterOption;

enum class TRESTObjectOwnership { ooCopy };
using enum TRESTObjectOwnership;

struct TRESTRequestParameter {
  std::string Name;
  std::string Value;  // header value, or the body bytes of the body parameter
  TRESTRequestParameterKind Kind = pkHTTPHEADER;
  unsigned Options = 0;  // bit set of TRESTRequestParameterOption
  std::string ContentType;
};

// Ordered, names unique: adding under a present name replaces it.
class TRESTRequestParameterList {
 public:
  void Clear() noexcept;
  std::size_t Count() const noexcept;
  const TRESTRequestParameter& operator[](std::size_t index) const;
  // Removes any parameter of that name, then appends.
  void Add(TRESTRequestParameter parameter);
  void RemoveKind(TRESTRequestParameterKind kind);

 private:
  std::vector<TRESTRequestParameter> items_;
};

class TRESTResponse {
 public:
  TRESTResponse();
  ~TRESTResponse();

  int StatusCode() const noexcept;
  const std::string& StatusText() const noexcept;
  const std::string& Content() const noexcept;
  // Content parsed on first access; none when Content is empty or does not
  // parse. Owned by the response until it is next cleared.
  const TJSONValue* JSONValue();

  // The reply's header fields, in order.
  const HeaderList& HeaderFields() const noexcept;
  // Recorded, not read by the API client.
  const std::vector<std::string>& Headers() const noexcept;  // "name=value"
  const std::string& Server() const noexcept;
  const std::string& ContentType() const noexcept;  // media type, no parameters
  const std::string& ContentEncoding() const noexcept;
  const std::string& RawBytes() const noexcept;
  const std::string& FullRequestURI() const noexcept;

 private:
  friend class TRESTRequest;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class TRESTClient {
 public:
  // Opens the transport handle; throws ENetHTTPClientException
  // "Error obtaining session handle" when that fails.
  TRESTClient();
  ~TRESTClient();
  TRESTClient(const TRESTClient&) = delete;
  TRESTClient& operator=(const TRESTClient&) = delete;

  // Stores the text trimmed of surrounding whitespace and of one trailing
  // "/"; a text without a scheme gets "http://" in front.
  void SetBaseURL(std::string_view url);
  const std::string& BaseURL() const noexcept;

  void SetAccept(std::string_view value);
  void SetAcceptCharset(std::string_view value);
  void SetContentType(std::string_view value);
  const std::string& Accept() const noexcept;
  const std::string& AcceptCharset() const noexcept;
  const std::string& ContentType() const noexcept;
  const std::string& UserAgent() const noexcept;

  TRESTRequestParameterList& Params() noexcept;

  // Runs `hook` about every `interval` while a request of this client waits
  // on the network, never more often; false from it breaks the request off
  // (see net::Transport::SetWaitHook).
  void SetWaitHook(std::function<bool()> hook, std::chrono::milliseconds interval);

  // Why the last request of this client failed on the server's certificate,
  // in words; empty when it did not (see net::Transport::CertificateProblem).
  const std::string& CertificateProblem() const noexcept;

 private:
  friend class TRESTRequest;
  // The transport handle, the cookie store and the settings.
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class TRESTRequest {
 public:
  TRESTRequest();
  ~TRESTRequest();
  TRESTRequest(const TRESTRequest&) = delete;
  TRESTRequest& operator=(const TRESTRequest&) = delete;

  // Non-owning links, set once by the owner of all three.
  void SetClient(TRESTClient* client) noexcept;
  void SetResponse(TRESTResponse* response) noexcept;

  void SetMethod(TRESTRequestMethod method) noexcept;
  TRESTRequestMethod Method() const noexcept;
  void SetAccept(std::string_view value);
  void SetAcceptCharset(std::string_view value);
  // Connect and read time-outs, in milliseconds; each single wait is bounded.
  void SetTimeout(int milliseconds) noexcept;

  TRESTRequestParameterList& Params() noexcept;
  void ClearBody();
  // The bytes become the body parameter "body", in place of any body before.
  void AddBody(std::string bytes, std::string_view contentType);
  // Copies every byte of the stream from its first byte, whatever its
  // position, into the body parameter "body".
  void AddBody(std::istream& stream, std::string_view contentType, TRESTObjectOwnership ownership);
  void AddParameter(std::string_view name, std::string_view value, TRESTRequestParameterKind kind,
                    unsigned options);

  // One synchronous exchange. Returns for a final status below 500 whose
  // body became Content; otherwise throws ERESTException.
  void Execute();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrava
