#include "sandbox/SandboxServer.h"

#include <unistd.h>

#include <cstdlib>
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

  struct Worker {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void Serve(https::Connection& connection);
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

void SandboxServer::Impl::Serve(https::Connection& connection) {
  connection.SetCancelFlag(&stopping);
  if (connection.Handshake(kHandshakeLimit) != IoStatus::Ok) {
    Log("TLS handshake failed: " + connection.LastError());
    return;
  }
  https::HttpRequestReader reader(connection);
  reader.AnswerExpectContinue(true);
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
  }
}

SandboxServer::SandboxServer(SandboxOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

SandboxServer::~SandboxServer() {
  impl_->stopping = true;
  for (auto& worker : impl_->workers) worker->thread.join();
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
    if (static_cast<int>(impl.workers.size()) >= impl.options.maxConnections) {
      impl.Log("too many connections, closing a new one");
      connection->Reset();
      continue;
    }
    auto worker = std::make_unique<Impl::Worker>();
    Impl::Worker* raw = worker.get();
    worker->thread = std::thread([&impl, raw, c = std::move(connection)]() mutable {
      impl.Serve(*c);
      c.reset();
      raw->done = true;
    });
    impl.workers.push_back(std::move(worker));
  }
  impl.stopping = true;
  for (auto& worker : impl.workers) worker->thread.join();
  impl.workers.clear();
}

}  // namespace kestrava::sandbox
