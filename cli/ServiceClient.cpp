#include "cli/ServiceClient.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "base/Exception.h"
#include "cli/Messages.h"

namespace kestrava::cli {

void Progress::Page(int read, int total) {
  if (!env_.errIsTerminal) return;
  env_.err.Write("\rkestrava-cli: page " + std::to_string(read) + " of " +
                 std::to_string(std::max(read, total)));
  shown_ = true;
}

void Progress::EndLine() {
  if (shown_) env_.err.Write("\n");
  shown_ = false;
}

namespace {

// How often a request that waits looks at the deadline of --max-time.
constexpr std::chrono::milliseconds kDeadlineLook{100};

}  // namespace

ServiceSession::ServiceSession(const CliArguments& args, CliEnvironment& env, SecretMask& mask,
                               Progress& progress)
    : args_(args), env_(env), mask_(mask), progress_(progress), began_(env.monotonic()) {
  std::chrono::seconds retryBudget(args.retryMaxTimeSeconds);
  if (args.maxTimeSeconds) {
    deadline_ = began_ + std::chrono::seconds(*args.maxTimeSeconds);
    // A retry whose wait would end past the deadline never starts.
    retryBudget = std::min(retryBudget, std::chrono::seconds(*args.maxTimeSeconds));
  }
  if (args.retries <= 0) return;
  RetryWorld world{env.monotonic, env.utc, env.wait,
                   [this](const std::string& line) {
                     progress_.EndLine();
                     WriteLine(env_, line);
                   },
                   [this](std::string text) { return Mask()(std::move(text)); }};
  retry_.emplace(RetryLimits{args.retries, retryBudget, began_}, std::move(world));
}

std::unique_ptr<ServiceSession> ServiceSession::SignIn(const CliArguments& args,
                                                       const Credentials& credentials,
                                                       CliEnvironment& env, SecretMask& mask,
                                                       Progress& progress, std::string* failure) {
  std::unique_ptr<ServiceSession> session(new ServiceSession(args, env, mask, progress));
  TKestrava_2::TSettings settings;
  settings.Timeout = args.timeoutSeconds * 1000;
  // The session owns the client, so the client never calls it after its end.
  ServiceSession* const self = session.get();
  settings.OnRequestFailed = [self](const TRequestFailure& failure) {
    return self->OnRequestFailed(failure);
  };
  settings.OnPage = [self](int read, int total) {
    // A failure of the page hook ends the export; the deadline says why.
    if (self->PastDeadline()) throw Exception("--max-time");
    self->progress_.Page(read, total);
  };
  if (session->deadline_)
    settings.OnWait = {[self] { return !self->PastDeadline(); }, kDeadlineLook};
  try {
    session->client_ = std::make_unique<TKestrava_2>(credentials.id, credentials.secret,
                                                     args.test ? 2 : 1, std::move(settings));
  } catch (const std::exception& e) {
    if (failure != nullptr) *failure = e.what();
    Failure(env, mask, {e.what()}, args.exactErrors);
    return nullptr;
  }
  if (!session->client_->LogatLaServer) {
    if (failure != nullptr) *failure = session->FailureText();
    session->ReportFailure();
    return nullptr;
  }
  session->Mask();
  return session;
}

TAfterFailure ServiceSession::OnRequestFailed(const TRequestFailure& failure) {
  const TAfterFailure after = retry_ ? (*retry_)(failure) : TAfterFailure::Fail;
  if (after == TAfterFailure::Fail) {
    ending_ = failure;
  } else {
    ending_.reset();
  }
  return after;
}

bool ServiceSession::PastDeadline() {
  deadlinePassed_ = deadlinePassed_ || (deadline_ && env_.monotonic() >= *deadline_);
  return deadlinePassed_;
}

const SecretMask& ServiceSession::Mask() {
  if (client_ != nullptr) mask_.Add(client_->Token);
  return mask_;
}

std::string ServiceSession::FailureText() const {
  // The client's text would only say the request was broken off.
  if (deadlinePassed_)
    return "the command did not end within --max-time " + std::to_string(*args_.maxTimeSeconds) +
           " s";
  return client_->MesajEroare();
}

int ServiceSession::ReportFailure() {
  if (deadlinePassed_) {
    progress_.EndLine();
    WriteLine(env_, "kestrava-cli: " + FailureText());
    return ExitFailure;
  }
  FailureDetail failure{client_->MesajEroare()};
  // Only when that request's failure is the one the operation ended with.
  if (ending_ && ending_->ErrorText == failure.text) {
    failure.reply = ending_->Reply;
    failure.certificate = ending_->Certificate;
  }
  return Failure(env_, Mask(), failure, args_.exactErrors);
}

}  // namespace kestrava::cli
