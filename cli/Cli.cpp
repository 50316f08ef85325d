#include "cli/Cli.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "cli/CliArguments.h"
#include "cli/TerminalText.h"
#include "client/Kestrava2Intf.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava::cli {
namespace {

constexpr std::string_view Mask = "********";

// A text that describes a failure (an error text, a usage message) never
// carries the secret, even when a service echoes the request back in an
// error body: neither as written nor as the token request body carries it
// (JSON-escaped, e.g. "/" as "\\/"). A result is data and is never masked.
// Very short secrets would mask ordinary text, so they are left alone.
class Redactor {
 public:
  explicit Redactor(const std::string& secret) {
    if (secret.size() < 4) return;
    TJSONObject holder;
    holder.AddPair("", secret);
    const std::string compact = holder.ToString();  // {"":"..."}
    std::string escaped = compact.substr(5, compact.size() - 7);
    // The longer escaped form first, so masking the plain one cannot split it.
    if (escaped != secret) forms_.push_back(std::move(escaped));
    forms_.push_back(secret);
  }
  std::string operator()(std::string text) const {
    for (const std::string& form : forms_) {
      for (std::size_t at = text.find(form); at != std::string::npos;
           at = text.find(form, at + Mask.size())) {
        text.replace(at, form.size(), Mask);
      }
    }
    return text;
  }

 private:
  std::vector<std::string> forms_;
};

// The secret as given on the command line (even when the rest does not
// parse) or in the environment.
std::string FindSecret(const std::vector<std::string>& args, CliEnvironment& env) {
  std::string secret;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--secret" && i + 1 < args.size()) secret = args[i + 1];
    if (args[i].rfind("--secret=", 0) == 0) secret = args[i].substr(9);
  }
  if (secret.empty() && env.getenv) secret = env.getenv("KESTRAVA_CLIENT_SECRET").value_or("");
  return secret;
}

// What the window shows for a collected array: its compact text parsed
// again and indented.
std::string DisplayText(const TJSONArray& array, bool compact) {
  std::string text = array.ToString();
  if (compact) return text;
  const std::unique_ptr<TJSONArray> reparsed = AsJSONArray(ParseJSONValue(text));
  if (reparsed == nullptr) throw Exception("Not a valid JSON text");
  return TJson::Format(*reparsed);
}

// A line on standard error; on a terminal, server text cannot act on it.
void WriteLine(CliEnvironment& env, std::string_view text) {
  std::string line = env.errIsTerminal ? ForTerminal(text) : std::string(text);
  line += '\n';
  env.err.Write(line);
}

// The result on standard output, its bytes exact unless they go to a
// terminal; a failed write is a failure that says why.
int WriteResult(CliEnvironment& env, std::string text) {
  if (env.outIsTerminal) text = ForTerminal(text);
  text += '\n';
  if (env.out.Write(text)) return ExitSuccess;
  WriteLine(env,
            "kestrava-cli: cannot write standard output: " + ErrorDescription(env.out.Error()));
  return ExitFailure;
}

// Nothing is masked here: format signs in nowhere, and its result is data.
int Format(const CliArguments& args, CliEnvironment& env) {
  std::string text;
  const int error = args.file ? ReadFile(*args.file, text) : ReadAll(env.in, text);
  if (error != 0) {
    WriteLine(env, "kestrava-cli: cannot read " + (args.file ? *args.file : "standard input") +
                       ": " + ErrorDescription(error));
    return ExitFailure;
  }
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(text);
  if (value == nullptr) {
    WriteLine(env, "Not a valid JSON text");
    return ExitFailure;
  }
  return WriteResult(env, args.compact ? value->ToString() : TJson::Format(*value));
}

int Service(const CliArguments& args, CliEnvironment& env, const Redactor& redact) {
  const auto lookup = [&](const char* name) {
    return env.getenv ? env.getenv(name).value_or("") : std::string();
  };
  const std::string id = args.id ? *args.id : lookup("KESTRAVA_CLIENT_ID");
  const std::string secret = args.secret ? *args.secret : lookup("KESTRAVA_CLIENT_SECRET");
  if (args.host) SetServiceHost(*args.host);

  std::unique_ptr<TKestrava_2> client;
  try {
    client = std::make_unique<TKestrava_2>(id, secret, args.test ? 2 : 1);
  } catch (const std::exception& e) {
    WriteLine(env, redact(e.what()));
    return ExitFailure;
  }
  if (!client->LogatLaServer) {
    WriteLine(env, redact(client->MesajEroare()));
    return ExitFailure;
  }
  if (args.command == "login") return WriteResult(env, client->Token);

  TJSONArray collected;
  bool ok = false;
  if (args.command == "accounts") {
    ok = client->Accounts(collected);
  } else {
    bool progressShown = false;
    if (env.errIsTerminal) {
      client->OnPage = [&](int read, int total) {
        env.err.Write("\rpage " + std::to_string(read) + " of " +
                      std::to_string(std::max(read, total)));
        progressShown = true;
      };
    }
    ok = client->GetTranzactii(*args.from, *args.to, args.account, collected);
    if (progressShown) env.err.Write("\n");
  }
  if (!ok) {
    WriteLine(env, redact(client->MesajEroare()));
    return ExitFailure;
  }
  std::string text;
  try {
    text = DisplayText(collected, args.compact);
  } catch (const std::exception& e) {
    WriteLine(env, e.what());
    return ExitFailure;
  }
  return WriteResult(env, std::move(text));
}

}  // namespace

std::string UsageText() {
  return "usage: kestrava-cli [--test] [--host HOST[:PORT]] [--id ID] [--secret SECRET] "
         "[--compact] COMMAND\n"
         "  login                                          sign in, print the token\n"
         "  accounts                                       sign in, print the accounts\n"
         "  transactions --from T --to T [--account N]     sign in, print every transaction of "
         "the range\n"
         "  format [FILE]                                  print FILE (or standard input) as the "
         "window's display text\n"
         "  T is local time: YYYY-MM-DDTHH:MM[:SS[.mmm]]\n"
         "  --id and --secret default to KESTRAVA_CLIENT_ID and KESTRAVA_CLIENT_SECRET.\n"
         "  --test uses the test environment (api.test. + host).\n";
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  const Redactor redact(FindSecret(args, env));
  std::string error;
  const std::optional<CliArguments> parsed = ParseArguments(args, error);
  if (!parsed) {
    WriteLine(env, "kestrava-cli: " + redact(error));
    env.err.Write(UsageText());
    return ExitUsage;
  }
  if (parsed->help) {
    std::string text = UsageText();
    text.pop_back();  // WriteResult ends it
    return WriteResult(env, std::move(text));
  }
  if (parsed->version) return WriteResult(env, std::string("kestrava-cli ") + KESTRAVA_VERSION);
  try {
    if (parsed->command == "format") return Format(*parsed, env);
    return Service(*parsed, env, redact);
  } catch (const std::exception& e) {
    WriteLine(env, redact(e.what()));
    return ExitFailure;
  }
}

}  // namespace kestrava::cli
