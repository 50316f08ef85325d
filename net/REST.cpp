#include "net/REST.h"

#include <iterator>
#include <optional>
#include <utility>

#include "base/Ascii.h"
#include "net/Cookies.h"
#include "net/Exchange.h"
#include "net/ReplyText.h"
#include "net/RequestDefaults.h"
#include "net/StatusLine.h"
#include "net/Transport.h"
#include "net/Url.h"

namespace kestrava {

namespace {

// The stage that a failure of the transport carries; none for any other.
TExchangeStage StageOf(const std::exception& failure) {
  const auto* netFailure = dynamic_cast<const ENetException*>(&failure);
  return netFailure != nullptr ? netFailure->Stage() : TExchangeStage::None;
}

bool CertificateRejectedIn(const std::exception& failure) {
  const auto* netFailure = dynamic_cast<const ENetException*>(&failure);
  return netFailure != nullptr && netFailure->CertificateRejected();
}

}  // namespace

// ---------------------------------------------------------------- response

struct TRESTResponse::Impl {
  int statusCode = 0;
  std::string statusText;
  std::string content;
  std::unique_ptr<TJSONValue> json;
  HeaderList fields;
  std::vector<std::string> headers;
  std::string server;
  std::string contentType;
  std::string contentEncoding;
  std::string rawBytes;
  std::string fullRequestURI;

  // Clears every value, then takes the final reply's.
  void Fill(net::FinalReply&& final, std::string text) {
    *this = Impl{};
    const net::TransportReply& reply = final.reply;
    statusCode = reply.code;
    statusText = reply.reason;
    content = std::move(text);
    for (const auto& [name, value] : reply.headers) headers.push_back(name + "=" + value);
    server = reply.headers.Value("Server");
    contentType = net::MediaTypeOf(reply.headers.Value("Content-Type"));
    contentEncoding = reply.headers.Value("Content-Encoding");
    fields = std::move(final.reply.headers);
    rawBytes = std::move(final.reply.body);
    fullRequestURI = std::move(final.url);
  }
};

TRESTResponse::TRESTResponse() : impl_(std::make_unique<Impl>()) {}
TRESTResponse::~TRESTResponse() = default;

int TRESTResponse::StatusCode() const noexcept {
  return impl_->statusCode;
}
const std::string& TRESTResponse::StatusText() const noexcept {
  return impl_->statusText;
}
const std::string& TRESTResponse::Content() const noexcept {
  return impl_->content;
}

const TJSONValue* TRESTResponse::JSONValue() {
  if (!impl_->json && !impl_->content.empty()) impl_->json = ParseJSONValue(impl_->content);
  return impl_->json.get();
}

const std::vector<std::string>& TRESTResponse::Headers() const noexcept {
  return impl_->headers;
}
const HeaderList& TRESTResponse::HeaderFields() const noexcept {
  return impl_->fields;
}
const std::string& TRESTResponse::Server() const noexcept {
  return impl_->server;
}
const std::string& TRESTResponse::ContentType() const noexcept {
  return impl_->contentType;
}
const std::string& TRESTResponse::ContentEncoding() const noexcept {
  return impl_->contentEncoding;
}
const std::string& TRESTResponse::RawBytes() const noexcept {
  return impl_->rawBytes;
}
const std::string& TRESTResponse::FullRequestURI() const noexcept {
  return impl_->fullRequestURI;
}

// ------------------------------------------------------------------ client

struct TRESTClient::Impl {
  net::Transport transport;
  net::CookieStore cookies;
  std::string baseURL;
  std::string accept{net::kDefaultAccept};
  std::string acceptCharset{net::kDefaultAcceptCharset};
  std::string contentType;
  std::string userAgent = net::kUserAgent;
  TRESTRequestParameterList params;
};

TRESTClient::TRESTClient() : impl_(std::make_unique<Impl>()) {}
TRESTClient::~TRESTClient() = default;

void TRESTClient::SetWaitHook(std::function<bool()> hook, std::chrono::milliseconds interval) {
  impl_->transport.SetWaitHook(std::move(hook), interval);
}

const std::string& TRESTClient::CertificateProblem() const noexcept {
  return impl_->transport.CertificateProblem();
}

void TRESTClient::SetBaseURL(std::string_view url) {
  impl_->baseURL = net::TrimBaseUrl(url);
}
const std::string& TRESTClient::BaseURL() const noexcept {
  return impl_->baseURL;
}
void TRESTClient::SetAccept(std::string_view value) {
  impl_->accept = value;
}
void TRESTClient::SetAcceptCharset(std::string_view value) {
  impl_->acceptCharset = value;
}
void TRESTClient::SetContentType(std::string_view value) {
  impl_->contentType = value;
}
const std::string& TRESTClient::Accept() const noexcept {
  return impl_->accept;
}
const std::string& TRESTClient::AcceptCharset() const noexcept {
  return impl_->acceptCharset;
}
const std::string& TRESTClient::ContentType() const noexcept {
  return impl_->contentType;
}
const std::string& TRESTClient::UserAgent() const noexcept {
  return impl_->userAgent;
}
TRESTRequestParameterList& TRESTClient::Params() noexcept {
  return impl_->params;
}

// ----------------------------------------------------------------- request

struct TRESTRequest::Impl {
  TRESTClient* client = nullptr;
  TRESTResponse* response = nullptr;
  TRESTRequestMethod method = rmGET;
  std::optional<std::string> accept;
  std::optional<std::string> acceptCharset;
  int timeoutMs = net::kDefaultTimeoutMs;
  TRESTRequestParameterList params;
};

TRESTRequest::TRESTRequest() : impl_(std::make_unique<Impl>()) {}
TRESTRequest::~TRESTRequest() = default;

void TRESTRequest::SetClient(TRESTClient* client) noexcept {
  impl_->client = client;
}
void TRESTRequest::SetResponse(TRESTResponse* response) noexcept {
  impl_->response = response;
}
void TRESTRequest::SetMethod(TRESTRequestMethod method) noexcept {
  impl_->method = method;
}
TRESTRequestMethod TRESTRequest::Method() const noexcept {
  return impl_->method;
}
void TRESTRequest::SetAccept(std::string_view value) {
  impl_->accept = std::string(value);
}
void TRESTRequest::SetAcceptCharset(std::string_view value) {
  impl_->acceptCharset = std::string(value);
}
void TRESTRequest::SetTimeout(int milliseconds) noexcept {
  // No wait goes unbounded: a non-positive value keeps the default.
  impl_->timeoutMs = milliseconds > 0 ? milliseconds : net::kDefaultTimeoutMs;
}
TRESTRequestParameterList& TRESTRequest::Params() noexcept {
  return impl_->params;
}

void TRESTRequest::ClearBody() {
  impl_->params.RemoveKind(pkREQUESTBODY);
}

void TRESTRequest::AddBody(std::string bytes, std::string_view contentType) {
  impl_->params.Add(TRESTRequestParameter{"body", std::move(bytes), pkREQUESTBODY,
                                          static_cast<unsigned>(poDoNotEncode),
                                          std::string(contentType)});
}

void TRESTRequest::AddBody(std::istream& stream, std::string_view contentType,
                           TRESTObjectOwnership) {
  stream.clear();
  stream.seekg(0, std::ios::beg);
  AddBody(std::string{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()},
          contentType);
}

void TRESTRequest::AddParameter(std::string_view name, std::string_view value,
                                TRESTRequestParameterKind kind, unsigned options) {
  impl_->params.Add(
      TRESTRequestParameter{std::string(name), std::string(value), kind, options, {}});
}

void TRESTRequest::Execute() {
  if (impl_->client == nullptr || impl_->response == nullptr)
    throw ERESTException("REST request failed: the request has no client or response");
  TRESTClient::Impl& client = *impl_->client->impl_;
  TRESTResponse::Impl& response = *impl_->response->impl_;

  // The request's own values win and are handed to the client.
  if (impl_->accept) client.accept = *impl_->accept;
  if (impl_->acceptCharset) client.acceptCharset = *impl_->acceptCharset;

  // Compose the request afresh: client parameters, then the request's.
  std::vector<const TRESTRequestParameter*> params;
  for (std::size_t i = 0; i < client.params.Count(); ++i) params.push_back(&client.params[i]);
  for (std::size_t i = 0; i < impl_->params.Count(); ++i) params.push_back(&impl_->params[i]);
  const TRESTRequestParameter* body = nullptr;
  for (const auto* p : params) {
    if (p->Kind == pkREQUESTBODY) body = p;
  }
  if (body != nullptr && !body->ContentType.empty())
    client.contentType = AsciiLower(net::TrimWhitespace(body->ContentType));

  net::TransportRequest request;
  request.post = impl_->method == rmPOST;
  request.url = net::NormaliseUrl(client.baseURL);
  request.timeoutMs = impl_->timeoutMs;
  HeaderList& headers = request.headers;
  if (!client.accept.empty()) headers.Set("Accept", client.accept);
  if (!client.acceptCharset.empty()) headers.Set("Accept-Charset", client.acceptCharset);
  headers.Set("User-Agent", client.userAgent);
  if (!client.contentType.empty()) headers.Set("Content-Type", client.contentType);
  for (const auto* p : params) {
    // Header parameters go out verbatim; the Cookie header is the store's.
    if (p->Kind == pkHTTPHEADER && !EqualsIgnoreCase(p->Name, "Cookie"))
      headers.Set(p->Name, p->Value);
  }
  if (request.post && body != nullptr) request.body = body->Value;

  // Every failure of the exchange and of turning the reply into text is
  // wrapped; nothing of a failed exchange reaches the response.
  std::optional<net::FinalReply> final;
  std::string content;
  try {
    final = net::RunExchange(client.transport, client.cookies, std::move(request));
    const net::TransportReply& reply = final->reply;
    content = net::ReplyContent(reply.code, reply.headers.Value("Content-Type"),
                                reply.headers.Value("Content-Encoding"), reply.body);
  } catch (const std::exception& failure) {
    throw ERESTException(std::string("REST request failed: ") + failure.what(),
                         std::current_exception(), StageOf(failure),
                         CertificateRejectedIn(failure));
  }
  // Below 500 the reply is the outcome. From 500 on, Execute raises the
  // status line once the response holds the reply, with the protocol error
  // it stands for as the inner failure.
  const net::TransportReply& reply = final->reply;
  if (reply.code < 500) {
    response.Fill(std::move(*final), std::move(content));
    return;
  }
  std::string statusLine = net::StatusLineText(reply.version, reply.code, reply.reason);
  std::exception_ptr protocolError =
      std::make_exception_ptr(EHTTPProtocolException(reply.code, content, statusLine));
  response.Fill(std::move(*final), std::move(content));
  throw ERESTException(std::move(statusLine), std::move(protocolError),
                       TExchangeStage::ServerError);
}

}  // namespace kestrava
