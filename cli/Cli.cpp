#include "cli/Cli.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "cli/CliArguments.h"
#include "cli/OutputTarget.h"
#include "cli/RecordWriter.h"
#include "cli/RetryPolicy.h"
#include "cli/SecretMask.h"
#include "cli/TerminalText.h"
#include "client/Kestrava2Intf.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava::cli {
namespace {

// The secret as given on the command line (even when the rest does not
// parse) or in the environment.
void AddCommandLineSecrets(SecretMask& mask, const std::vector<std::string>& args,
                           CliEnvironment& env) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--secret" && i + 1 < args.size()) mask.Add(args[i + 1]);
    if (args[i].rfind("--secret=", 0) == 0) mask.Add(args[i].substr(9));
  }
  if (env.getenv) mask.Add(env.getenv("KESTRAVA_CLIENT_SECRET").value_or(""));
}

// A line on standard error; on a terminal, server text cannot act on it.
void WriteLine(CliEnvironment& env, std::string_view text) {
  std::string line = env.errIsTerminal ? ForTerminal(text) : std::string(text);
  line += '\n';
  env.err.Write(line);
}

int Usage(CliEnvironment& env, const std::string& message) {
  WriteLine(env, "kestrava-cli: " + message);
  WriteLine(env, "Try 'kestrava-cli --help' for more information.");
  return ExitUsage;
}

int CannotRead(CliEnvironment& env, const std::string& name, int error) {
  WriteLine(env, "kestrava-cli: cannot read " + name + ": " + ErrorDescription(error));
  return ExitFailure;
}

int CannotWrite(CliEnvironment& env, const std::string& name, int error) {
  WriteLine(env, "kestrava-cli: cannot write " + name + ": " + ErrorDescription(error));
  return ExitFailure;
}

// A text result (help, version, a token, a formatted value) and its end.
int WriteWhole(CliEnvironment& env, OutputTarget& target, std::string text) {
  text += '\n';
  int error = 0;
  if (!target.Sink().Write(text)) return CannotWrite(env, target.Name(), target.Sink().Error());
  if (!target.Commit(error)) return CannotWrite(env, target.Name(), error);
  return ExitSuccess;
}

// Where the result goes, or none after the failure has been reported.
std::unique_ptr<OutputTarget> Open(CliEnvironment& env, const std::optional<std::string>& output) {
  int error = 0;
  std::unique_ptr<OutputTarget> target = OpenOutput(output, env.out, env.outIsTerminal, error);
  if (target == nullptr) CannotWrite(env, output.value_or("standard output"), error);
  return target;
}

std::unique_ptr<RecordWriter> NewWriter(CliEnvironment& env, OutputFormat format,
                                        OutputTarget& target) {
  std::unique_ptr<Spool> spool;
  if (format == OutputFormat::Csv) {
    int error = 0;
    spool = target.NewSpool(error);
    if (spool == nullptr) {
      CannotWrite(env, target.Name(), error);
      return nullptr;
    }
  }
  return MakeRecordWriter(format, target.Sink(), std::move(spool));
}

int Finish(CliEnvironment& env, RecordWriter& writer, OutputTarget& target) {
  int error = 0;
  if (!writer.Finish()) return CannotWrite(env, target.Name(), writer.Error());
  if (!target.Commit(error)) return CannotWrite(env, target.Name(), error);
  return ExitSuccess;
}

// Nothing is masked here: format signs in nowhere, and its result is data.
int Format(const CliArguments& args, CliEnvironment& env) {
  std::string text;
  const bool fromInput = !args.file || *args.file == "-";
  const int error = fromInput ? ReadAll(env.in, text) : ReadFile(*args.file, text);
  if (error != 0) return CannotRead(env, fromInput ? "standard input" : *args.file, error);
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(text);
  if (value == nullptr) {
    WriteLine(env, "Not a valid JSON text");
    return ExitFailure;
  }
  const std::unique_ptr<OutputTarget> target = Open(env, args.output);
  if (target == nullptr) return ExitFailure;
  if (args.format == OutputFormat::Display) return WriteWhole(env, *target, TJson::Format(*value));
  if (args.format == OutputFormat::Compact) return WriteWhole(env, *target, value->ToString());
  // A value that is not an array is an array of that one value.
  const std::unique_ptr<RecordWriter> writer = NewWriter(env, args.format, *target);
  if (writer == nullptr) return ExitFailure;
  const bool added = value->Kind() == TJSONKind::Array
                         ? writer->Add(static_cast<const TJSONArray&>(*value))
                         : writer->Add(*value);
  if (!added) return CannotWrite(env, target->Name(), writer->Error());
  return Finish(env, *writer, *target);
}

// "page N of M" on a terminal, kept on one line until something else is
// written on standard error.
class Progress {
 public:
  explicit Progress(CliEnvironment& env) : env_(env) {}
  void Page(int read, int total) {
    if (!env_.errIsTerminal) return;
    env_.err.Write("\rpage " + std::to_string(read) + " of " +
                   std::to_string(std::max(read, total)));
    shown_ = true;
  }
  void EndLine() {
    if (shown_) env_.err.Write("\n");
    shown_ = false;
  }

 private:
  CliEnvironment& env_;
  bool shown_ = false;
};

struct Credentials {
  std::string id, secret;
};

// The client id and secret from the options, the secret file or the
// environment. None after the failure has been reported, with its exit code.
std::optional<Credentials> FindCredentials(const CliArguments& args, CliEnvironment& env,
                                           int& code) {
  const auto lookup = [&](const char* name) {
    return env.getenv ? env.getenv(name) : std::optional<std::string>();
  };
  std::optional<std::string> id = args.id ? args.id : lookup("KESTRAVA_CLIENT_ID");
  std::optional<std::string> secret = args.secret;
  if (!secret && !args.secretFile) secret = lookup("KESTRAVA_CLIENT_SECRET");
  code = ExitUsage;
  if (!id) {
    Usage(env, "no client id: give --id ID or set KESTRAVA_CLIENT_ID");
    return std::nullopt;
  }
  if (!secret && !args.secretFile) {
    Usage(env,
          "no client secret: give --secret SECRET or --secret-file FILE, or set "
          "KESTRAVA_CLIENT_SECRET");
    return std::nullopt;
  }
  if (!secret) {
    const bool fromInput = *args.secretFile == "-";
    std::string line;
    const int error =
        fromInput ? ReadFirstLine(env.in, line) : ReadFirstLineOfFile(*args.secretFile, line);
    if (error != 0) {
      code = CannotRead(env, fromInput ? "standard input" : *args.secretFile, error);
      return std::nullopt;
    }
    secret = std::move(line);
  }
  return Credentials{std::move(*id), std::move(*secret)};
}

int Service(const CliArguments& args, CliEnvironment& env, SecretMask& mask) {
  int code = ExitSuccess;
  const std::optional<Credentials> credentials = FindCredentials(args, env, code);
  if (!credentials) return code;
  mask.Add(credentials->secret);
  const auto fail = [&](const std::string& text) {
    WriteLine(env, mask(text));
    return ExitFailure;
  };
  if (args.host) SetServiceHost(*args.host);
  TDateTime from = args.from.value_or(0), to = args.to.value_or(0);
  if (args.lastHours) {
    to = env.now();  // one reading of the clock for both ends
    from = IncHour(to, -*args.lastHours);
  }

  const std::unique_ptr<OutputTarget> target = Open(env, args.output);
  if (target == nullptr) return ExitFailure;
  Progress progress(env);
  TKestrava_2::TSettings settings;
  settings.Timeout = args.timeoutSeconds * 1000;
  if (args.retries > 0) {
    RetryWorld world{env.monotonic, env.utc, env.wait,
                     [&](const std::string& line) {
                       progress.EndLine();
                       WriteLine(env, line);
                     },
                     [&](std::string text) { return mask(std::move(text)); }};
    settings.OnRequestFailed =
        RetryPolicy({args.retries, std::chrono::seconds(args.retryMaxTimeSeconds), env.monotonic()},
                    std::move(world));
  }

  std::unique_ptr<TKestrava_2> client;
  try {
    client = std::make_unique<TKestrava_2>(credentials->id, credentials->secret, args.test ? 2 : 1,
                                           std::move(settings));
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  if (!client->LogatLaServer) return fail(client->MesajEroare());
  if (args.command == "login") return WriteWhole(env, *target, client->Token);

  const std::unique_ptr<RecordWriter> writer = NewWriter(env, args.format, *target);
  if (writer == nullptr) return ExitFailure;
  const auto receive = [&](const TJSONArray& records) { return writer->Add(records); };
  bool ok = false;
  if (args.command == "accounts") {
    ok = client->Accounts(receive);
  } else {
    client->Settings().OnPage = [&](int read, int total) { progress.Page(read, total); };
    ok = client->GetTranzactii(from, to, args.account, receive);
    progress.EndLine();
  }
  if (!ok && writer->Error() != 0) return CannotWrite(env, target->Name(), writer->Error());
  if (!ok) return fail(client->MesajEroare());
  return Finish(env, *writer, *target);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  SecretMask mask;
  AddCommandLineSecrets(mask, args, env);
  std::string error;
  const std::optional<CliArguments> parsed = ParseArguments(args, error);
  if (!parsed) return Usage(env, mask(error));
  try {
    if (parsed->help || parsed->version) {
      const std::unique_ptr<OutputTarget> target = Open(env, std::nullopt);
      std::string text =
          parsed->help ? UsageText() : std::string("kestrava-cli ") + KESTRAVA_VERSION;
      if (parsed->help) text.pop_back();  // WriteWhole ends it
      return WriteWhole(env, *target, std::move(text));
    }
    if (parsed->command == "format") return Format(*parsed, env);
    return Service(*parsed, env, mask);
  } catch (const std::exception& e) {
    WriteLine(env, mask(e.what()));
    return ExitFailure;
  }
}

}  // namespace kestrava::cli
