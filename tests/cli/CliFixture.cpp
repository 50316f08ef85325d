#include "tests/cli/CliFixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>


#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava::testing {

std::string PageReply(int totalPages, std::string_view records) {
  return JsonReply(200, "OK",
                   "{\"totalPages\":" + std::to_string(totalPages) +
                       ",\"result\":" + std::string(records) + "}");
}

std::string Display(std::string_view json) {
  return TJson::Format(*ParseJSONValue(json));
}

Outcome CliTest::Call(std::vector<std::string> args, std::string input, bool terminal) {
  // Standard input is a pipe that holds the whole input (small ones only).
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return {-1, "", "no pipe"};
  if (!input.empty() && write(pipeEnds[1], input.data(), input.size()) < 0) return {-1, "", ""};
  close(pipeEnds[1]);
  StringSink out, err;
  cli::CliEnvironment env{
      .in = pipeEnds[0],
      .out = out,
      .err = err,
      .outIsTerminal = outIsTerminal,
      .errIsTerminal = terminal,
      .getenv = [this](const std::string& name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        if (it == environment.end()) return std::nullopt;
        return it->second;
      },
      .now =
          [this] {
            ++nowReadings;
            return localNow;
          },
      .monotonic = [this] { return monotonic; },
      .utc = [this] { return utc; },
      .wait =
          [this](std::chrono::seconds duration) {
            waits.push_back(duration);
            monotonic += duration;
            utc += duration;
          },
      .openKeyring = openKeyring,
  };
  const int code = cli::RunCli(args, env);
  close(pipeEnds[0]);
  return {code, out.text, err.text};
}

Outcome CliTest::Service(std::vector<std::string> args, bool terminal) {
  std::vector<std::string> all = {"--host", server.HostPort(), "--id",
                                  "id-1",   "--secret",        "s3cret-value"};
  all.insert(all.end(), args.begin(), args.end());
  return Call(all, "", terminal);
}

Outcome CliTest::Transactions(std::vector<std::string> options, bool terminal) {
  options.insert(options.end(),
                 {"transactions", "--from", "2025-05-14T08:30", "--to", "2025-05-15T08:30"});
  return Service(options, terminal);
}

std::string CliTest::LastQuery() {
  const auto requests = server.Requests();
  if (requests.empty()) return "<no request>";
  const std::string& target = requests.back().target;
  const std::size_t start = target.find("startDate=");
  return start == std::string::npos ? target : target.substr(start);
}

}  // namespace kestrava::testing
