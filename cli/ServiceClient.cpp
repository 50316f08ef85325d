#include "cli/ServiceClient.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

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

ServiceSession::ServiceSession(const CliArguments& args, CliEnvironment& env, SecretMask& mask,
                               Progress& progress)
    : args_(args), env_(env), mask_(mask), progress_(progress) {
  if (args.retries <= 0) return;
  RetryWorld world{env.monotonic, env.utc, env.wait,
                   [this](const std::string& line) {
                     progress_.EndLine();
                     WriteLine(env_, line);
                   },
                   [this](std::string text) { return Mask()(std::move(text)); }};
  retry_.emplace(
      RetryLimits{args.retries, std::chrono::seconds(args.retryMaxTimeSeconds), env.monotonic()},
      std::move(world));
}

std::unique_ptr<ServiceSession> ServiceSession::SignIn(const CliArguments& args,
                                                       const Credentials& credentials,
                                                       CliEnvironment& env, SecretMask& mask,
                                                       Progress& progress) {
  std::unique_ptr<ServiceSession> session(new ServiceSession(args, env, mask, progress));
  TKestrava_2::TSettings settings;
  settings.Timeout = args.timeoutSeconds * 1000;
  // The session owns the client, so the client never calls it after its end.
  settings.OnRequestFailed = [self = session.get()](const TRequestFailure& failure) {
    return self->OnRequestFailed(failure);
  };
  try {
    session->client_ = std::make_unique<TKestrava_2>(credentials.id, credentials.secret,
                                                     args.test ? 2 : 1, std::move(settings));
  } catch (const std::exception& e) {
    Failure(env, mask, {e.what()}, args.exactErrors);
    return nullptr;
  }
  if (!session->client_->LogatLaServer) {
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

const SecretMask& ServiceSession::Mask() {
  if (client_ != nullptr) mask_.Add(client_->Token);
  return mask_;
}

int ServiceSession::ReportFailure() {
  FailureDetail failure{client_->MesajEroare()};
  // Only when that request's failure is the one the operation ended with.
  if (ending_ && ending_->ErrorText == failure.text) {
    failure.reply = ending_->Reply;
    failure.certificate = ending_->Certificate;
  }
  return Failure(env_, Mask(), failure, args_.exactErrors);
}

}  // namespace kestrava::cli
