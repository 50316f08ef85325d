#include "cli/ServiceClient.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "cli/Messages.h"
#include "cli/RetryPolicy.h"

namespace kestrava::cli {

void Progress::Page(int read, int total) {
  if (!env_.errIsTerminal) return;
  env_.err.Write("\rpage " + std::to_string(read) + " of " + std::to_string(std::max(read, total)));
  shown_ = true;
}

void Progress::EndLine() {
  if (shown_) env_.err.Write("\n");
  shown_ = false;
}

std::unique_ptr<TKestrava_2> SignIn(const CliArguments& args, const Credentials& credentials,
                                    CliEnvironment& env, SecretMask& mask, Progress& progress) {
  // The client, once made: its settings are given before it exists.
  const auto made = std::make_shared<const TKestrava_2*>(nullptr);
  TKestrava_2::TSettings settings;
  settings.Timeout = args.timeoutSeconds * 1000;
  if (args.retries > 0) {
    RetryWorld world{env.monotonic, env.utc, env.wait,
                     [&env, &progress](const std::string& line) {
                       progress.EndLine();
                       WriteLine(env, line);
                     },
                     [&mask, made](std::string text) {
                       if (*made != nullptr) mask.Add((*made)->Token);
                       return mask(std::move(text));
                     }};
    settings.OnRequestFailed =
        RetryPolicy({args.retries, std::chrono::seconds(args.retryMaxTimeSeconds), env.monotonic()},
                    std::move(world));
  }
  std::unique_ptr<TKestrava_2> client;
  try {
    client = std::make_unique<TKestrava_2>(credentials.id, credentials.secret, args.test ? 2 : 1,
                                           std::move(settings));
  } catch (const std::exception& e) {
    Failure(env, mask, e.what());
    return nullptr;
  }
  *made = client.get();
  if (!client->LogatLaServer) {
    Failure(env, mask, client->MesajEroare());
    return nullptr;
  }
  mask.Add(client->Token);
  return client;
}

}  // namespace kestrava::cli
