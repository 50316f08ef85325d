#include "net/Transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdlib>

#include "net/NetExceptions.h"
#include "net/StatusLine.h"

namespace kestrava::net {

namespace {

using Clock = std::chrono::steady_clock;

void EnsureCurlGlobal() {
  // Thread-safe one-time initialisation; libcurl is never torn down.
  static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)rc;
}

// What one attempt has reached so far; the callbacks fill it in.
struct Progress {
  bool headSent = false;    // the request head went out
  curl_off_t bodySent = 0;  // request body bytes that went out
  curl_off_t bodySize = 0;
  bool headStarted = false;   // a status line arrived
  bool headComplete = false;  // the final reply head ended: the body follows
  int phasesDone = 0;         // of resolve, connect and TLS handshake
  Clock::time_point lastActivity;
  bool RequestSent() const { return headSent && bodySent >= bodySize; }
};

struct Attempt {
  Progress progress;
  TransportReply reply;
  ReplyHead head;
  bool bodyTooLarge = false;  // the body went past kMaxReplyBodyBytes
  void Touch() { progress.lastActivity = Clock::now(); }
};

using Stage = TExchangeStage;

std::string Describe(int code) {
  return TrimDescription(curl_easy_strerror(static_cast<CURLcode>(code)));
}

std::string CodeAndDescription(int code, const std::string& description) {
  return "(" + std::to_string(code) + ") " + description;
}

// The one place where a libcurl failure becomes a stage failure.
//
//   CURLE_URL_MALFORMAT, CURLE_UNSUPPORTED_PROTOCOL before anything was sent
//       -> opening the connection: ENetHTTPRequestException
//          "Error connecting to server: <host>"
//   resolve, connect, TLS handshake and certificate failures, send failures
//   (CURLE_COULDNT_RESOLVE_HOST/_PROXY, CURLE_COULDNT_CONNECT,
//   CURLE_SSL_CONNECT_ERROR, CURLE_PEER_FAILED_VERIFICATION, CURLE_SSL_*,
//   CURLE_SEND_ERROR, CURLE_SEND_FAIL_REWIND, CURLE_PROXY, ...)
//       -> sending: ENetHTTPClientException "Error sending data: (%d) %s"
//   any other code, by how far the attempt got (time-outs, CURLE_RECV_ERROR,
//   CURLE_GOT_NOTHING, CURLE_PARTIAL_FILE, CURLE_WEIRD_SERVER_REPLY, ...):
//       request not fully sent yet    -> sending
//       sent, final head not complete -> receiving: ENetHTTPClientException
//                                        "Error receiving data: (%d) %s"
//       final head complete           -> reading: ENetHTTPResponseException
//                                        "Error reading data: (%d) %s"
//   CURLE_FILESIZE_EXCEEDED (a body announced past kMaxReplyBodyBytes, or
//   one that reached it: our write callback refuses it)
//       -> reading
// A status line that libcurl refuses itself is no failure of a stage but an
// unreadable head field (CurlRefusedStatusLine). Our own time-out of a
// single wait is reported as CURLE_OPERATION_TIMEDOUT at the stage in
// progress. The description is curl_easy_strerror's text
// for the code, trimmed.
Stage StageOf(int code, const Progress& progress) {
  switch (code) {
    case CURLE_FILESIZE_EXCEEDED:
      return Stage::Reading;  // the head announced, or the body reached, too much
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      if (!progress.headSent) return Stage::Connecting;
      break;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SEND_ERROR:
    case CURLE_SEND_FAIL_REWIND:
    case CURLE_PROXY:
      return Stage::Sending;
    default:
      break;
  }
  if (progress.headComplete) return Stage::Reading;
  if (progress.RequestSent() || progress.headStarted) return Stage::Receiving;
  return Stage::Sending;
}

// The codes of a server certificate that failed verification.
bool IsCertificateRejection(int code) {
  return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_ISSUER_ERROR ||
         code == CURLE_SSL_PINNEDPUBKEYNOTMATCH || code == CURLE_SSL_INVALIDCERTSTATUS;
}

[[noreturn]] void Raise(Stage stage, int code, const std::string& description,
                        const std::string& host) {
  std::string detail = CodeAndDescription(code, description);
  switch (stage) {
    case Stage::Connecting:
      throw ENetHTTPRequestException("Error connecting to server: " + host, stage);
    case Stage::Preparing:
      throw ENetHTTPRequestException("Error opening request: " + detail, stage);
    case Stage::Receiving:
      throw ENetHTTPClientException("Error receiving data: " + detail, stage);
    case Stage::Reading:
      throw ENetHTTPResponseException("Error reading data: " + detail, stage);
    case Stage::QueryingHead:
      throw ENetHTTPException("Error querying headers: " + detail, stage);
    default:  // sending, the only other stage that the transport itself reaches
      break;
  }
  throw ENetHTTPClientException("Error sending data: " + detail, Stage::Sending,
                                IsCertificateRejection(code));
}

[[noreturn]] void RaiseTransportFailure(int code, const Progress& progress,
                                        const std::string& host) {
  Raise(StageOf(code, progress), code, Describe(code), host);
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& attempt = *static_cast<Attempt*>(user);
  std::size_t length = size * count;
  attempt.Touch();
  attempt.head.Feed(std::string_view(data, length));
  attempt.progress.headStarted = attempt.head.started;
  attempt.progress.headComplete = attempt.head.complete;
  return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& attempt = *static_cast<Attempt*>(user);
  attempt.Touch();
  const std::size_t length = size * count;
  std::string& body = attempt.reply.body;
  if (length > kMaxReplyBodyBytes - body.size()) {
    attempt.bodyTooLarge = true;
    return 0;  // libcurl ends the transfer with a write error
  }
  // Grown to powers of two, so that the last growth reaches the bound (a
  // power of two) from half of it: never two buffers near the bound at
  // once, nor one past it. (A string's own growth would double past the
  // bound; a new string takes the size it is given exactly.)
  if (body.size() + length > body.capacity()) {
    std::string grown;
    grown.reserve(std::bit_ceil(std::max(body.size() + length, 2 * body.capacity())));
    grown.append(body);
    body = std::move(grown);
  }
  body.append(data, length);
  return length;
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto& attempt = *static_cast<Attempt*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    attempt.Touch();
    // A proxy's CONNECT belongs to setting up the connection, not to the
    // request itself.
    if (!std::string_view(data, size).starts_with("CONNECT ")) attempt.progress.headSent = true;
  } else if (type == CURLINFO_DATA_OUT) {
    attempt.progress.bodySent += static_cast<curl_off_t>(size);
    attempt.Touch();
  }
  return 0;
}

struct SlistFree {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

const char* EnvOrNull(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// Name resolution, connection and TLS handshake each end one wait: the
// next wait is counted from the moment libcurl reports the phase done.
void NoteFinishedPhases(CURL* easy, Attempt& attempt) {
  const CURLINFO phases[] = {CURLINFO_NAMELOOKUP_TIME_T, CURLINFO_CONNECT_TIME_T,
                             CURLINFO_APPCONNECT_TIME_T};
  for (int i = attempt.progress.phasesDone; i < 3; ++i) {
    curl_off_t elapsed = 0;
    if (curl_easy_getinfo(easy, phases[i], &elapsed) != CURLE_OK || elapsed == 0) break;
    attempt.progress.phasesDone = i + 1;
    attempt.Touch();
  }
}

// OpenSSL's verification results (X509_V_ERR_*), as libcurl's OpenSSL
// backend reports them through CURLINFO_SSL_VERIFYRESULT.
enum VerifyResult : long {
  kVerifiedOk = 0,
  // What libcurl holds until it reads OpenSSL's result, which it does only
  // after its own check of the host name has passed.
  kNotRead = 1,
  kIssuerUnknown = 2,
  kNotYetValid = 9,
  kExpired = 10,
  kSelfSignedLeaf = 18,
  kSelfSignedRootInChain = 19,
  kIssuerNotLocal = 20,
  kLeafNotVerifiable = 21,
  kWrongPurpose = 26,
  kUntrusted = 27,
  kHostMismatch = 62,
  kAddressMismatch = 64,
};

std::string CertificateProblemOf(CURL* easy, CURLcode result) {
  if (result != CURLE_PEER_FAILED_VERIFICATION) return {};
  long verified = kVerifiedOk;
  if (curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verified) != CURLE_OK) return {};
  switch (verified) {
    // The chain passed; libcurl's own check of the host name refused it.
    case kVerifiedOk:
    case kNotRead:
    case kHostMismatch:
    case kAddressMismatch:
      return "certificate is for another host name";
    case kNotYetValid:
      return "certificate is not yet valid";
    case kExpired:
      return "certificate has expired";
    case kSelfSignedLeaf:
      return "self-signed certificate";
    case kIssuerUnknown:
    case kSelfSignedRootInChain:
    case kIssuerNotLocal:
    case kLeafNotVerifiable:
    case kUntrusted:
      return "certificate from an untrusted issuer";
    case kWrongPurpose:
      return "certificate is not for a server";
    default:
      return {};
  }
}

// The caller's hook and when it last ran.
struct WaitHook {
  std::function<bool()> run;
  std::chrono::milliseconds interval{0};
  Clock::time_point lastRun;
  // How long a poll may block before the hook is due.
  std::chrono::milliseconds UntilDue() const {
    return std::chrono::ceil<std::chrono::milliseconds>(lastRun + interval - Clock::now());
  }
  // Whether to go on.
  bool RunIfDue() {
    if (!run || Clock::now() - lastRun < interval) return true;
    const bool goOn = run();
    lastRun = Clock::now();
    return goOn;
  }
};

struct Outcome {
  bool cancelled = false;
  bool timedOut = false;
  int multiFailure = 0;
  CURLcode result = CURLE_OK;
  bool reusedConnection = false;
};

// The easy handle's place in the multi handle for one transfer. It is given
// up however the transfer ends, a wait hook that throws included, so the
// next request finds the handle free; giving up an unfinished transfer
// closes its connection.
class TransferInMulti {
 public:
  TransferInMulti(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) {}
  ~TransferInMulti() { curl_multi_remove_handle(multi_, easy_); }
  TransferInMulti(const TransferInMulti&) = delete;
  TransferInMulti& operator=(const TransferInMulti&) = delete;

 private:
  CURLM* multi_;
  CURL* easy_;
};

// Drives one transfer. Every single wait is bounded by `limit`, counted from
// the last byte that went out or came in.
Outcome RunTransfer(CURLM* multi, CURL* easy, Attempt& attempt, std::chrono::milliseconds limit,
                    const std::string& host, WaitHook& hook) {
  Outcome outcome;
  hook.lastRun = Clock::now();
  CURLMcode mc = curl_multi_add_handle(multi, easy);
  if (mc != CURLM_OK) Raise(Stage::Preparing, mc, TrimDescription(curl_multi_strerror(mc)), host);
  const TransferInMulti transfer(multi, easy);
  attempt.Touch();
  while (true) {
    int running = 0;
    mc = curl_multi_perform(multi, &running);
    if (mc != CURLM_OK) {
      outcome.multiFailure = mc;
      break;
    }
    if (running == 0) break;
    NoteFinishedPhases(easy, attempt);
    auto idle = Clock::now() - attempt.progress.lastActivity;
    if (idle >= limit) {
      outcome.timedOut = true;
      break;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - idle);
    if (hook.run) left = std::min(left, hook.UntilDue());
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long long>(1, left.count())),
                    nullptr);
    if (!hook.RunIfDue()) {
      outcome.cancelled = true;
      break;
    }
  }
  if (!outcome.cancelled && !outcome.timedOut && outcome.multiFailure == 0) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
        outcome.result = message->data.result;
    }
  }
  long connects = 0;
  if (curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK)
    outcome.reusedConnection = connects == 0;
  return outcome;
}

using CurlHeaders = std::unique_ptr<curl_slist, SlistFree>;

void Check(CURLcode rc, Stage stage, const std::string& host) {
  if (rc != CURLE_OK) Raise(stage, rc, Describe(rc), host);
}

// Our headers as given, then the removal of every header libcurl would add
// on its own that this system does not send.
CurlHeaders BuildHeaderList(const HeaderList& headers) {
  CurlHeaders list;
  const auto append = [&list](const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr)
      throw ENetHTTPRequestException(
          "Error adding header: " +
              CodeAndDescription(CURLE_OUT_OF_MEMORY, Describe(CURLE_OUT_OF_MEMORY)),
          Stage::Preparing);
    (void)list.release();
    list.reset(grown);
  };
  for (const auto& [name, value] : headers) {
    if (name.empty() || name.find_first_of(std::string_view(":\r\n\0", 4)) != std::string::npos ||
        value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      throw ENetHTTPRequestException(
          "Error adding header: " + CodeAndDescription(CURLE_BAD_FUNCTION_ARGUMENT,
                                                       Describe(CURLE_BAD_FUNCTION_ARGUMENT)),
          Stage::Preparing);
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  append("Expect:");
  append("Pragma:");
  if (!headers.Has("Accept")) append("Accept:");
  if (!headers.Has("Content-Type")) append("Content-Type:");
  return list;
}

// The bound of each single wait; no wait goes unbounded.
std::chrono::milliseconds WaitLimit(const TransportRequest& request) {
  return std::chrono::milliseconds(request.timeoutMs > 0 ? request.timeoutMs : kDefaultTimeoutMs);
}

// A status line that cannot be read is a failure to read a head field,
// whoever refused it: the status is never guessed.
[[noreturn]] void RaiseUnreadableStatusLine(const std::string& host) {
  Raise(Stage::QueryingHead, CURLE_WEIRD_SERVER_REPLY, Describe(CURLE_WEIRD_SERVER_REPLY), host);
}

// libcurl refuses some status lines itself before it hands a line over
// ("ICY 200 OK", "HTTP/1.1 2000 OK", "HTTP/1.2 200 OK", a head that does
// not start with "HTTP/"), as an unsupported protocol or a weird reply:
// the request went out and the status line of a head was still awaited.
bool CurlRefusedStatusLine(CURLcode result, const Attempt& attempt) {
  return (result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_WEIRD_SERVER_REPLY) &&
         attempt.progress.headSent && attempt.head.awaitingStatus;
}

// The reply of an attempt that libcurl completed. A status line that our
// parser refuses (libcurl reads "HTTP/1.1 200OK" as some status of its own)
// fails as one that libcurl refuses.
TransportReply ReplyOf(Attempt& attempt, const std::string& host) {
  if (!attempt.head.statusParsed) RaiseUnreadableStatusLine(host);
  TransportReply reply = std::move(attempt.reply);
  reply.version = std::move(attempt.head.version);
  reply.code = attempt.head.code;
  reply.reason = std::move(attempt.head.reason);
  reply.headers = std::move(attempt.head.headers);
  return reply;
}

}  // namespace

std::string TrimDescription(std::string text) {
  while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) < 33))
    text.pop_back();
  return text;
}

struct Transport::Impl {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  std::string defaultCaInfo;
  std::string defaultCaPath;
  WaitHook waitHook;
  std::string certificateProblem;  // of the last Perform
  ~Impl() {
    if (multi != nullptr) curl_multi_cleanup(multi);
    if (easy != nullptr) curl_easy_cleanup(easy);
  }

  void SetUp(const TransportRequest& request, const std::string& host);
  void UseTrustStore(const std::string& host);
  TransportReply RunAttempts(const TransportRequest& request, curl_slist* headers,
                             const std::string& host);
};

// URL, method and body, and the time-out of the request.
void Transport::Impl::SetUp(const TransportRequest& request, const std::string& host) {
  Check(curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()), Stage::Preparing, host);
  if (request.post) {
    Check(curl_easy_setopt(easy, CURLOPT_POST, 1L), Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                           static_cast<curl_off_t>(request.body.size())),
          Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data()), Stage::Preparing, host);
  } else {
    Check(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L), Stage::Preparing, host);
  }
  const long long timeoutMs = WaitLimit(request).count();
  // Our own clock bounds each wait of the connection set-up (resolve,
  // connect, handshake); libcurl's limit on the whole set-up is only a
  // backstop above the sum of the three.
  const CURLcode rc =
      curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                       static_cast<long>(std::min<long long>(3 * timeoutMs + 1000, 0x7FFFFFFF)));
  if (rc != CURLE_OK)
    throw ENetHTTPRequestException(
        "Error setting timeout for the request: " + CodeAndDescription(rc, Describe(rc)),
        Stage::Preparing);
}

// The system's trust store, or the one the usual OpenSSL variables name:
// libcurl does not read them itself.
void Transport::Impl::UseTrustStore(const std::string& host) {
  const char* caFile = EnvOrNull("SSL_CERT_FILE");
  const char* caDir = EnvOrNull("SSL_CERT_DIR");
  if (caFile == nullptr && !defaultCaInfo.empty()) caFile = defaultCaInfo.c_str();
  if (caDir == nullptr && !defaultCaPath.empty()) caDir = defaultCaPath.c_str();
  Check(curl_easy_setopt(easy, CURLOPT_CAINFO, caFile), Stage::Preparing, host);
  Check(curl_easy_setopt(easy, CURLOPT_CAPATH, caDir), Stage::Preparing, host);
}

// Sends the request; a kept connection that the server had already closed
// gets the request once more on a new connection.
TransportReply Transport::Impl::RunAttempts(const TransportRequest& request, curl_slist* headers,
                                            const std::string& host) {
  const auto limit = WaitLimit(request);
  for (int round = 0;; ++round) {
    Attempt attempt;
    attempt.progress.bodySize = request.post ? static_cast<curl_off_t>(request.body.size()) : 0;
    Check(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers), Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_HEADERDATA, &attempt), Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &attempt), Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_DEBUGDATA, &attempt), Stage::Preparing, host);
    Check(curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, round == 0 ? 0L : 1L), Stage::Preparing,
          host);
    const Outcome outcome = RunTransfer(multi, easy, attempt, limit, host, waitHook);
    // The list dies with this request; the handle must not keep pointing at it.
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);

    if (outcome.cancelled) throw ETransferCancelled();
    if (outcome.timedOut) RaiseTransportFailure(CURLE_OPERATION_TIMEDOUT, attempt.progress, host);
    if (outcome.multiFailure != 0)
      Raise(StageOf(CURLE_RECV_ERROR, attempt.progress), outcome.multiFailure,
            TrimDescription(curl_multi_strerror(static_cast<CURLMcode>(outcome.multiFailure))),
            host);
    if (outcome.result == CURLE_OK) return ReplyOf(attempt, host);
    if (attempt.bodyTooLarge)
      RaiseTransportFailure(CURLE_FILESIZE_EXCEEDED, attempt.progress, host);
    const bool deadKeptConnection =
        round == 0 && outcome.reusedConnection && !attempt.progress.headStarted &&
        (outcome.result == CURLE_SEND_ERROR || outcome.result == CURLE_RECV_ERROR ||
         outcome.result == CURLE_GOT_NOTHING);
    if (deadKeptConnection) continue;
    if (CurlRefusedStatusLine(outcome.result, attempt)) RaiseUnreadableStatusLine(host);
    certificateProblem = CertificateProblemOf(easy, outcome.result);
    RaiseTransportFailure(outcome.result, attempt.progress, host);
  }
}

Transport::Transport() : impl_(std::make_unique<Impl>()) {
  EnsureCurlGlobal();
  impl_->easy = curl_easy_init();
  impl_->multi = curl_multi_init();
  if (impl_->easy == nullptr || impl_->multi == nullptr)
    throw ENetHTTPClientException("Error obtaining session handle");
  char* path = nullptr;
  if (curl_easy_getinfo(impl_->easy, CURLINFO_CAINFO, &path) == CURLE_OK && path != nullptr)
    impl_->defaultCaInfo = path;
  path = nullptr;
  if (curl_easy_getinfo(impl_->easy, CURLINFO_CAPATH, &path) == CURLE_OK && path != nullptr)
    impl_->defaultCaPath = path;

  CURL* easy = impl_->easy;
  // Fixed for the handle's life: libcurl is the transport only.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTP_TRANSFER_DECODING, 1L);
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  // A body announced past the bound fails before any of it is read.
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBodyBytes));
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  // The proxy's answer to CONNECT is no part of the reply head.
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  // The debug stream tells when the request head and body went out.
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, OnDebug);
}

Transport::~Transport() = default;

void Transport::SetWaitHook(std::function<bool()> hook, std::chrono::milliseconds interval) {
  impl_->waitHook.run = std::move(hook);
  impl_->waitHook.interval = interval;
}

const std::string& Transport::CertificateProblem() const noexcept {
  return impl_->certificateProblem;
}

TransportReply Transport::Perform(const TransportRequest& request, const std::string& host) {
  impl_->certificateProblem.clear();
  const CurlHeaders headers = BuildHeaderList(request.headers);
  impl_->SetUp(request, host);
  impl_->UseTrustStore(host);
  return impl_->RunAttempts(request, headers.get(), host);
}

}  // namespace kestrava::net
