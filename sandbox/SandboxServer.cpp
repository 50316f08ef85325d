#include "sandbox/SandboxServer.h"

#include <unistd.h>

#include <cstdlib>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

#include "https/Connection.h"
#include "https/HttpRequestReader.h"
#include "https/HttpsError.h"
#include "sandbox/JsonText.h"

namespace kestrava::sandbox {

namespace {

using Milliseconds = std::chrono::milliseconds;
using https::HttpsError;
using https::IoStatus;
using https::ReadStatus;

constexpr Milliseconds kHandshakeLimit(10'000);
constexpr Milliseconds kIdleLimit(30'000);
constexpr Milliseconds kReadLimit(30'000);
constexpr Milliseconds kWriteLimit(30'000);
constexpr Milliseconds kAcceptSlice(50);

}  // namespace

std::filesystem::path DefaultStateDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::filesystem::path(runtime) / "kestrava-sandbox";
  return std::filesystem::path("/tmp") / ("kestrava-sandbox-" + std::to_string(getuid()));
}

SandboxCertificates LoadOrMakeCertificates(const StateFolder& folder) {
  StateFolder::Lock lock(folder);
  SandboxCertificates result;
  result.caFile = folder.Path() / "ca.pem";
  constexpr mode_t kCertificateMode = 0644;
  constexpr mode_t kKeyMode = 0600;

  std::optional<https::CertificateAuthority> ca;
  const auto caPem = folder.Read("ca.pem");
  const auto caKeyPem = folder.Read("ca-key.pem");
  if (caPem && caKeyPem) {
    try {
      ca.emplace(https::CertificateAuthority::FromPem({*caPem, *caKeyPem}));
    } catch (const HttpsError&) {
      ca.reset();  // damaged: made afresh below
    }
  }
  if (!ca) {
    ca.emplace(https::CertificateAuthority::Create("Kestrava Sandbox Local CA"));
    folder.Write("ca.pem", ca->Pem().certificatePem, kCertificateMode);
    folder.Write("ca-key.pem", ca->Pem().keyPem, kKeyMode);
    result.madeNewCa = true;
  }

  if (!result.madeNewCa) {
    const auto serverPem = folder.Read("server.pem");
    const auto serverKeyPem = folder.Read("server-key.pem");
    if (serverPem && serverKeyPem) {
      https::Credentials existing{*serverPem, *serverKeyPem};
      if (ca->StillFits(existing, kSandboxNames, 7)) {
        result.server = std::move(existing);
        return result;
      }
    }
  }
  https::ServerCertificateRequest request;
  request.dnsNames = kSandboxNames;
  result.server = ca->Issue(request);
  folder.Write("server.pem", result.server.certificatePem, kCertificateMode);
  folder.Write("server-key.pem", result.server.keyPem, kKeyMode);
  return result;
}

struct SandboxServer::Impl {
  explicit Impl(SandboxOptions sandboxOptions)
      : options(std::move(sandboxOptions)),
        certificates(LoadOrMakeCertificates(
            StateFolder(options.stateDir.empty() ? DefaultStateDir() : options.stateDir))),
        tls(https::TlsContext::Server(certificates.server)),
        listener(options.port),
        service(options.service) {}

  using Clock = std::chrono::steady_clock;
  // A connection and its thread.
  struct Worker {
    static constexpr Clock::rep kBusy = std::numeric_limits<Clock::rep>::max();
    std::thread thread;
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};  // ends every wait of the connection
    // Since when the connection waits for the head of a request (a time
    // since the clock's epoch), or kBusy while it is served.
    std::atomic<Clock::rep> idleSince{kBusy};
    void Idle() { idleSince = Clock::now().time_since_epoch().count(); }
    void Busy() { idleSince = kBusy; }
  };

  void Serve(https::Connection& connection, Worker& worker);
  // The connections still being served (not cancelled, not ended).
  int Serving() const {
    int count = 0;
    for (const auto& worker : workers)
      if (!worker->done.load() && !worker->cancel.load()) ++count;
    return count;
  }
  // Cancels the connection idle longest when that is idleGrace or more;
  // false when there is none.
  bool DropOneIdle() {
    const Clock::rep dueBefore = (Clock::now() - options.idleGrace).time_since_epoch().count();
    Worker* oldest = nullptr;
    for (const auto& worker : workers) {
      if (worker->done.load() || worker->cancel.load()) continue;
      const Clock::rep since = worker->idleSince.load();
      if (since <= dueBefore && (oldest == nullptr || since < oldest->idleSince.load()))
        oldest = worker.get();
    }
    if (oldest == nullptr) return false;
    oldest->cancel = true;
    return true;
  }
  // Ends every connection (within a fraction of a second) and joins them.
  void StopWorkers() {
    stopping = true;
    for (auto& worker : workers) worker->cancel = true;
    for (auto& worker : workers) worker->thread.join();
    workers.clear();
  }
  void Log(std::string line) {
    if (!options.log) return;
    // Request texts come from the network: no control bytes reach the terminal.
    for (char& c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    std::lock_guard lock(logMutex);
    options.log(line);
  }
  // Waits up to duration; false when the server is stopping.
  bool Wait(Milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
      if (stopping.load()) return false;
      std::this_thread::sleep_for(std::min(Milliseconds(20), duration));
    }
    return !stopping.load();
  }
  void ReapFinished() {
    for (auto it = workers.begin(); it != workers.end();) {
      if ((*it)->done.load()) {
        (*it)->thread.join();
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  }

  SandboxOptions options;
  SandboxCertificates certificates;
  https::TlsContext tls;
  https::Listener listener;
  SandboxService service;
  std::atomic<bool> stopping{false};
  std::mutex logMutex;
  std::list<std::unique_ptr<Worker>> workers;
};

void SandboxServer::Impl::Serve(https::Connection& connection, Worker& worker) {
  connection.SetCancelFlag(&worker.cancel);
  if (connection.Handshake(kHandshakeLimit) != IoStatus::Ok) {
    if (!worker.cancel.load()) Log("TLS handshake failed: " + connection.LastError());
    return;
  }
  https::HttpRequestReader reader(connection);
  reader.AnswerExpectContinue(true);
  reader.OnHeadRead([&worker] { worker.Busy(); });
  while (!stopping.load()) {
    https::HttpRequest request;
    const ReadStatus status = reader.Read(request, kIdleLimit, kReadLimit);
    if (status == ReadStatus::Malformed || status == ReadStatus::TooLarge) {
      ServiceReply reply;
      reply.status = status == ReadStatus::Malformed ? 400 : 413;
      reply.body =
          "{\"status\":" + Quoted(std::to_string(reply.status) + " " + ReasonPhrase(reply.status)) +
          ",\"message\":\"The request could not be read\"}";
      reply.close = true;
      connection.WriteAll(reply.Bytes(), kWriteLimit);
      connection.Close();
      return;
    }
    if (status != ReadStatus::Ok) return;
    if (options.latency.count() > 0 && !Wait(options.latency)) return;

    ServiceReply reply;
    try {
      reply = service.Handle(request);
    } catch (const std::exception& failure) {
      reply.status = 500;
      reply.body =
          "{\"status\":\"500 Internal Server Error\",\"message\":" + Quoted(failure.what()) + "}";
    }
    std::string outcome = std::to_string(reply.status);
    if (reply.cutBodyAt)
      outcome += ", cut after " + std::to_string(*reply.cutBodyAt) + " of " +
                 std::to_string(reply.body.size()) + " body bytes";
    Log(request.method + " " + request.Header("Host") + request.target + " -> " + outcome);
    if (connection.WriteAll(reply.WireBytes(), kWriteLimit) != IoStatus::Ok) return;
    // An orderly close (TLS close_notify, then FIN) after a cut reply: the
    // client sees the body end short of its Content-Length.
    if (reply.close || reply.cutBodyAt) {
      connection.Close();
      return;
    }
    worker.Idle();
  }
}

SandboxServer::SandboxServer(SandboxOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

SandboxServer::~SandboxServer() {
  impl_->StopWorkers();
}

std::uint16_t SandboxServer::Port() const noexcept {
  return impl_->listener.Port();
}

const std::filesystem::path& SandboxServer::CaFile() const noexcept {
  return impl_->certificates.caFile;
}

std::string SandboxServer::ReadyLine() const {
  return "kestrava-sandbox: host localhost:" + std::to_string(Port()) + " ca " + CaFile().string();
}

void SandboxServer::Run(const std::atomic<bool>& stop) {
  Impl& impl = *impl_;
  while (!stop.load()) {
    impl.ReapFinished();
    auto connection = impl.listener.Accept(kAcceptSlice, &impl.tls, &stop);
    if (!connection) continue;
    // At the limit, a client that holds a connection without asking
    // anything gives way, so that idle connections cannot shut everyone
    // out.
    if (impl.Serving() >= impl.options.maxConnections) {
      if (!impl.DropOneIdle()) {
        impl.Log("too many connections, closing a new one");
        connection->Reset();
        continue;
      }
      impl.Log("too many connections, closing the one idle longest");
    }
    auto worker = std::make_unique<Impl::Worker>();
    Impl::Worker* raw = worker.get();
    raw->Idle();
    worker->thread = std::thread([&impl, raw, c = std::move(connection)]() mutable {
      impl.Serve(*c, *raw);
      c.reset();
      raw->done = true;
    });
    impl.workers.push_back(std::move(worker));
  }
  impl.StopWorkers();
}

}  // namespace kestrava::sandbox
