#include "tests/support/ScriptedServer.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "https/Connection.h"
#include "https/HttpRequestReader.h"
#include "tests/support/TestPki.h"

namespace kestrava::testing {

namespace {

using https::IoStatus;
using https::ReadStatus;
using Milliseconds = std::chrono::milliseconds;

constexpr Milliseconds kHandshakeLimit(5000);
constexpr Milliseconds kReadLimit(5000);
constexpr Milliseconds kWriteLimit(5000);
constexpr Milliseconds kAcceptSlice(50);

const char kNoReplyLeft[] =
    "HTTP/1.1 599 No Reply Scripted\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

}  // namespace

Reply& Reply::Send(std::string bytes) {
  actions_.push_back({ReplyAction::Kind::Send, std::move(bytes), Milliseconds(0)});
  return *this;
}

Reply& Reply::Repeat(std::string bytes, std::size_t times) {
  actions_.push_back({ReplyAction::Kind::Send, std::move(bytes), Milliseconds(0), times});
  return *this;
}

Reply& Reply::Pause(std::chrono::milliseconds duration) {
  actions_.push_back({ReplyAction::Kind::Pause, {}, duration});
  return *this;
}

Reply& Reply::Close() {
  actions_.push_back({ReplyAction::Kind::Close, {}, Milliseconds(0)});
  return *this;
}

Reply& Reply::Reset() {
  actions_.push_back({ReplyAction::Kind::Reset, {}, Milliseconds(0)});
  return *this;
}

std::string HttpReply(int code, std::string_view reason, std::vector<std::string> headers,
                      std::string_view body) {
  std::string reply = "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) + "\r\n";
  for (const auto& header : headers) reply += header + "\r\n";
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  reply += body;
  return reply;
}

struct ScriptedServer::Impl {
  explicit Impl(ServerOptions serverOptions) : options(serverOptions) {
    if (options.tls)
      tls.emplace(https::TlsContext::Server(TestPki::Get().Server(options.certificate)));
  }

  void AcceptLoop();
  void Serve(std::unique_ptr<https::Connection> connection, int index);
  // Sleeps up to duration; false when the server is stopping.
  bool PauseFor(Milliseconds duration);

  ServerOptions options;
  std::optional<https::TlsContext> tls;
  https::Listener listener;
  std::atomic<bool> stopping{false};

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::deque<Reply> replies;
  std::vector<ReceivedRequest> requests;
  int connections = 0;
  int handshakes = 0;
  std::vector<std::thread> connectionThreads;
  std::thread acceptThread;
};

void ScriptedServer::Impl::AcceptLoop() {
  while (!stopping.load()) {
    auto connection = listener.Accept(kAcceptSlice, tls ? &*tls : nullptr, &stopping);
    if (!connection) continue;
    std::lock_guard lock(mutex);
    if (stopping.load()) break;
    const int index = connections++;
    connectionThreads.emplace_back(
        [this, index, c = std::move(connection)]() mutable { Serve(std::move(c), index); });
  }
}

bool ScriptedServer::Impl::PauseFor(Milliseconds duration) {
  std::unique_lock lock(mutex);
  return !changed.wait_for(lock, duration, [this] { return stopping.load(); });
}

void ScriptedServer::Impl::Serve(std::unique_ptr<https::Connection> connection, int index) {
  connection->SetCancelFlag(&stopping);
  if (connection->Handshake(kHandshakeLimit) != IoStatus::Ok) return;
  if (connection->IsTls()) {
    std::lock_guard lock(mutex);
    ++handshakes;
  }
  https::HttpRequestReader reader(*connection);
  reader.AnswerExpectContinue(options.answerExpectContinue);
  while (!stopping.load()) {
    https::HttpRequest request;
    const ReadStatus status = reader.Read(request, options.idleLimit, kReadLimit);
    if (status == ReadStatus::Malformed || status == ReadStatus::TooLarge) {
      connection->WriteAll(
          "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
          kWriteLimit);
      connection->Close();
      return;
    }
    if (status != ReadStatus::Ok) return;

    Reply reply;
    {
      std::lock_guard lock(mutex);
      requests.push_back({std::move(request), index});
      if (replies.empty()) {
        reply = Reply(kNoReplyLeft).Close();
      } else {
        reply = std::move(replies.front());
        replies.pop_front();
      }
    }
    changed.notify_all();

    for (const ReplyAction& action : reply.Actions()) {
      switch (action.kind) {
        case ReplyAction::Kind::Send:
          for (std::size_t i = 0; i < action.times; ++i) {
            if (connection->WriteAll(action.bytes, kWriteLimit) != IoStatus::Ok) return;
          }
          break;
        case ReplyAction::Kind::Pause:
          if (!PauseFor(action.pause)) return;
          break;
        case ReplyAction::Kind::Close:
          connection->Close();
          return;
        case ReplyAction::Kind::Reset:
          connection->Reset();
          return;
      }
    }
  }
}

ScriptedServer::ScriptedServer(ServerOptions options) : impl_(std::make_unique<Impl>(options)) {
  impl_->acceptThread = std::thread([impl = impl_.get()] { impl->AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->changed.notify_all();
  impl_->acceptThread.join();
  // No thread is added once stopping is set, and every wait inside a
  // connection sees the flag within a few milliseconds.
  for (auto& thread : impl_->connectionThreads) thread.join();
}

std::uint16_t ScriptedServer::Port() const noexcept {
  return impl_->listener.Port();
}

std::string ScriptedServer::HostPort() const {
  return "localhost:" + std::to_string(Port());
}

void ScriptedServer::Enqueue(Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->replies.push_back(std::move(reply));
}

std::vector<ReceivedRequest> ScriptedServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

bool ScriptedServer::WaitForRequests(std::size_t n, std::chrono::milliseconds limit) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, limit, [&] { return impl_->requests.size() >= n; });
}

int ScriptedServer::ConnectionsAccepted() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

int ScriptedServer::HandshakesCompleted() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->handshakes;
}

std::uint16_t RefusedPort() {
  return https::UnusedLoopbackPort();
}

}  // namespace kestrava::testing
