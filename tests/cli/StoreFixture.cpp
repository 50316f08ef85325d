#include "tests/cli/StoreFixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "datetime/FormatSettings.h"
#include "sandbox/CivilTime.h"
#include "sandbox/SandboxService.h"
#include "tests/cli/Process.h"

namespace kestrava::testing {

std::string TimeArg(TDateTime value) {
  return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz", value, TFormatSettings{});
}

std::string Sqlite3(const std::string& db, const std::string& sql) {
  const ProcessResult run = RunProcess({"/usr/bin/sqlite3", "-readonly", db, sql}, {});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return run.out;
}

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  return lines;
}

long long CountAfter(const std::string& line, const std::string& before) {
  const std::size_t at = line.find(before);
  if (at == std::string::npos) return -1;
  return std::atoll(line.c_str() + at + before.size());
}

void StoreCliTest::StartSandbox(sandbox::ServiceOptions service) {
  // A sandbox that replaces another takes its port: the same host, so the
  // same source in the store.
  const std::uint16_t port = server_ != nullptr ? server_->Port() : 0;
  StopSandbox();
  sandbox::SandboxOptions options;
  options.port = port;
  options.stateDir = folder.File("sandbox-state");
  service.clock = [this] {
    const TDateTimeParts p = DecodeDateTime(now);
    return sandbox::ToLocalMillis(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second,
                                  p.Millisecond);
  };
  options.service = std::move(service);
  server_ = std::make_unique<sandbox::SandboxServer>(std::move(options));
  thread_ = std::thread([this] { server_->Run(stop_); });
  setenv("SSL_CERT_FILE", server_->CaFile().c_str(), 1);
  host = "localhost:" + std::to_string(server_->Port());
}

void StoreCliTest::StopSandbox() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  server_.reset();
  stop_ = false;
}

Outcome StoreCliTest::CliWithoutDb(std::vector<std::string> args) {
  args.insert(args.begin(), {"--host", host});
  StringSink out, err;
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  cli::CliEnvironment env{
      .in = in,
      .out = out,
      .err = err,
      .getenv = [this](const std::string& name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        if (it == environment.end()) return std::nullopt;
        return it->second;
      },
      .now = [this] { return now; },
      .wait = [](std::chrono::seconds) {},
  };
  const int code = cli::RunCli(args, env);
  close(in);
  return {code, out.text, err.text};
}

Outcome StoreCliTest::Cli(std::vector<std::string> args) {
  args.insert(args.begin(), {"--db", db});
  return CliWithoutDb(std::move(args));
}

Outcome StoreCliTest::Sync(std::optional<TDateTime> from, std::vector<std::string> more) {
  std::vector<std::string> args = std::move(more);
  args.push_back("sync");
  if (from) args.insert(args.end(), {"--from", TimeArg(*from)});
  return Cli(std::move(args));
}

}  // namespace kestrava::testing
