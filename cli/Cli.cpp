#include "cli/Cli.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "cli/CliArguments.h"
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

// The whole stream; false when reading fails part-way (a directory, an I/O
// error), which the library reports by throwing from the stream buffer.
bool ReadAll(std::istream& in, std::string& text) {
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return false;
  }
  return !in.bad();
}

// Nothing is masked here: format signs in nowhere, and its result is data.
int Format(const CliArguments& args, CliEnvironment& env) {
  std::string text;
  bool read = false;
  if (args.file) {
    std::ifstream file(*args.file, std::ios::binary);
    read = file && ReadAll(file, text);
  } else {
    read = ReadAll(env.in, text);
  }
  if (!read) {
    env.err << "kestrava-cli: cannot read " << (args.file ? *args.file : "standard input") << "\n";
    return ExitFailure;
  }
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(text);
  if (value == nullptr) {
    env.err << "Not a valid JSON text\n";
    return ExitFailure;
  }
  env.out << (args.compact ? value->ToString() : TJson::Format(*value)) << "\n";
  return ExitSuccess;
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
    env.err << redact(e.what()) << "\n";
    return ExitFailure;
  }
  if (!client->LogatLaServer) {
    env.err << redact(client->MesajEroare()) << "\n";
    return ExitFailure;
  }
  if (args.command == "login") {
    env.out << client->Token << "\n";
    return ExitSuccess;
  }

  TJSONArray collected;
  bool ok = false;
  if (args.command == "accounts") {
    ok = client->Accounts(collected);
  } else {
    bool progressShown = false;
    if (env.errIsTerminal) {
      client->OnPage = [&](int read, int total) {
        env.err << "\rpage " << read << " of " << std::max(read, total) << std::flush;
        progressShown = true;
      };
    }
    ok = client->GetTranzactii(*args.from, *args.to, args.account, collected);
    if (progressShown) env.err << "\n";
  }
  if (!ok) {
    env.err << redact(client->MesajEroare()) << "\n";
    return ExitFailure;
  }
  try {
    env.out << DisplayText(collected, args.compact) << "\n";
  } catch (const std::exception& e) {
    env.err << e.what() << "\n";
    return ExitFailure;
  }
  return ExitSuccess;
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
    env.err << "kestrava-cli: " << redact(error) << "\n" << UsageText();
    return ExitUsage;
  }
  if (parsed->help) {
    env.out << UsageText();
    return ExitSuccess;
  }
  if (parsed->version) {
    env.out << "kestrava-cli " << KESTRAVA_VERSION << "\n";
    return ExitSuccess;
  }
  try {
    if (parsed->command == "format") return Format(*parsed, env);
    return Service(*parsed, env, redact);
  } catch (const std::exception& e) {
    env.err << redact(e.what()) << "\n";
    return ExitFailure;
  }
}

}  // namespace kestrava::cli
