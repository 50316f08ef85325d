// kestrava-cli run in-process against the scripted TLS server: exact output,
// exit codes and error texts.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using cli::RunCli;
using cli::UsageText;

using Cli = CliTest;

TEST_F(Cli, BadUsageExitsTwoWithAMessageAndAPointerToTheHelp) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string from = "2025-05-14T08:30", to = "2025-05-15T08:30";
  const std::string hostForm =
      "HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 address, and a port from 1 "
      "to 65535";
  const Case cases[] = {
      {{}, "no command given"},
      {{"fetch"}, "unknown command \"fetch\""},
      {{"--frobnicate", "login"}, "unknown option --frobnicate"},
      {{"-x", "login"}, "unknown option -x"},
      {{"login", "extra"}, "too many arguments for login"},
      {{"format", "a", "b"}, "too many arguments for format"},
      {{"transactions", "--from", from}, "transactions needs --from and --to, --day or --last"},
      {{"transactions"}, "transactions needs --from and --to, --day or --last"},
      {{"transactions", "--from", "14.05.2025", "--to", "2025-05-15T00:00"},
       "option --from needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD, not "
       "\"14.05.2025\""},
      // The right shape, but no such date or time of day.
      {{"transactions", "--from", "2025-02-30T00:00", "--to", "2025-05-15T00:00"},
       "option --from needs a date that exists in years 0001 to 9999, not \"2025-02-30T00:00\""},
      {{"transactions", "--from", from, "--to", "0000-12-31T00:00"},
       "option --to needs a date that exists in years 0001 to 9999, not \"0000-12-31T00:00\""},
      {{"transactions", "--from", "2025-13-01T00:00", "--to", "2025-05-15T00:00"},
       "option --from needs a date that exists in years 0001 to 9999, not \"2025-13-01T00:00\""},
      {{"transactions", "--from", "2025-05-14T24:00", "--to", "2025-05-15T00:00"},
       "option --from needs a time of day from 00:00:00.000 to 23:59:59.999, not "
       "\"2025-05-14T24:00\""},
      {{"transactions", "--from", "2024-02-29T23:59:60", "--to", "2025-05-15T00:00"},
       "option --from needs a time of day from 00:00:00.000 to 23:59:59.999, not "
       "\"2024-02-29T23:59:60\""},
      {{"transactions", "--from", from, "--to", "2025-05-15T00:00:00.5"},
       "option --to needs a local time YYYY-MM-DDTHH:MM[:SS[.mmm]] or a date YYYY-MM-DD, not "
       "\"2025-05-15T00:00:00.5\""},
      // --account: a positive whole number only.
      {{"transactions", "--from", from, "--to", to, "--account", "x7"},
       "option --account needs a whole number from 1 to 2147483647, not \"x7\""},
      {{"transactions", "--from", from, "--to", to, "--account", "-5"},
       "option --account needs a whole number from 1 to 2147483647, not \"-5\""},
      {{"transactions", "--from", from, "--to", to, "--account", "0"},
       "option --account needs a whole number from 1 to 2147483647, not \"0\""},
      {{"transactions", "--from", from, "--to", to, "--account", "2147483648"},
       "option --account needs a whole number from 1 to 2147483647, not \"2147483648\""},
      {{"accounts", "--account", "7"},
       "--from and --account belong to the transactions, history and sync commands"},
      {{"login", "--last", "24"},
       "--to, --day and --last belong to the transactions and history commands"},
      // --last: whole hours, instead of --from and --to.
      {{"transactions", "--last", "24", "--from", from},
       "give the range either with --from and --to or with --last, not both"},
      {{"transactions", "--to", to, "--last", "1"},
       "give the range either with --from and --to or with --last, not both"},
      {{"transactions", "--last", "1.5"},
       "option --last needs a whole number of hours from 1 to 876000, not \"1.5\""},
      {{"transactions", "--last", "-24"},
       "option --last needs a whole number of hours from 1 to 876000, not \"-24\""},
      {{"transactions", "--last", ""},
       "option --last needs a whole number of hours from 1 to 876000, not \"\""},
      // The secret one way only.
      {{"--secret", "a", "--secret-file", "f", "login"},
       "give the secret either with --secret or with --secret-file, not both"},
      {{"--secret-file=", "login"}, "option --secret-file needs a file name"},
      {{"--output", "", "login"}, "option --output needs a file name"},
      {{"--format", "xml", "accounts"},
       "option --format needs display, compact, ndjson, csv, csv-excel or xlsx, not \"xml\""},
      {{"--format", "CSV", "accounts"},
       "option --format needs display, compact, ndjson, csv, csv-excel or xlsx, not \"CSV\""},
      {{"--csv-excel=yes", "accounts"}, "option --csv-excel takes no value"},
      {{"--format", "xlsx", "login"},
       "--format xlsx is for the commands that write records: accounts, transactions, history "
       "and format"},
      {{"--retry", "-1", "accounts"},
       "option --retry needs a whole number from 0 to 1000000, not \"-1\""},
      {{"--retry", "five", "accounts"},
       "option --retry needs a whole number from 0 to 1000000, not \"five\""},
      {{"--retry-max-time", "1e3", "accounts"},
       "option --retry-max-time needs a whole number of seconds from 0 to 2147483, not \"1e3\""},
      {{"--timeout", "0", "accounts"},
       "option --timeout needs a whole number of seconds from 1 to 2147483, not \"0\""},
      {{"--timeout", "2147484", "accounts"},
       "option --timeout needs a whole number of seconds from 1 to 2147483, not \"2147484\""},
      {{"--max-time", "0", "accounts"},
       "option --max-time needs a whole number of seconds from 1 to 2147483, not \"0\""},
      {{"--max-time", "1.5", "accounts"},
       "option --max-time needs a whole number of seconds from 1 to 2147483, not \"1.5\""},
      {{"login", "--host"}, "option --host needs a value"},
      // The host: HOST[:PORT] and nothing else.
      {{"login", "--host="}, "option --host needs " + hostForm + ", not \"\" (it is empty)"},
      {{"--host", "https://h", "login"},
       "option --host needs " + hostForm + ", not \"https://h\" (it has a scheme)"},
      {{"--host", "h/", "login"},
       "option --host needs " + hostForm + ", not \"h/\" (it has a path)"},
      {{"--host", "h:99999", "accounts"},
       "option --host needs " + hostForm + ", not \"h:99999\" (its port is not from 1 to 65535)"},
      {{"--host", "me@h", "accounts"},
       "option --host needs " + hostForm + ", not \"me@h\" (it has a user part)"},
      {{"login", "--test=yes"}, "option --test takes no value"},
      {{"login", "--compact=no"}, "option --compact takes no value"},
      {{"login", "--secret"}, "option --secret needs a value"},
      // After "--" nothing is an option.
      {{"--", "--test", "login"}, "unknown command \"--test\""},
      {{"login", "--", "--test"}, "too many arguments for login"},
  };
  for (const Case& c : cases) {
    const Outcome run = Call(c.args);
    EXPECT_EQ(run.code, 2) << c.message;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: " + c.message +
                           "\nkestrava-cli: try 'kestrava-cli --help' for more information\n");
  }
  EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(Cli, NoIdOrNoSecretAtAllIsBadUsageThatNamesBothWays) {
  const std::string noId = "no client id: give --id ID or set KESTRAVA_CLIENT_ID";
  const std::string noSecret =
      "no client secret: give --secret SECRET, --secret-file FILE or --keyring, or set "
      "KESTRAVA_CLIENT_SECRET";
  struct Case {
    std::map<std::string, std::string> environment;
    std::vector<std::string> args;
    std::string message;  // empty: it signs in
  };
  const Case cases[] = {
      {{}, {"login"}, noId},
      {{{"KESTRAVA_CLIENT_SECRET", "s"}}, {"accounts"}, noId},
      {{{"KESTRAVA_CLIENT_ID", "env-id"}}, {"login"}, noSecret},
      {{}, {"--id", "x", "transactions", "--last", "24"}, noSecret},
      // Empty values given on purpose still go out.
      {{{"KESTRAVA_CLIENT_ID", ""}, {"KESTRAVA_CLIENT_SECRET", ""}}, {"login"}, ""},
      {{}, {"--id", "", "--secret", "", "login"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    environment = c.environment;
    if (c.message.empty()) server.Enqueue(Reply(TokenReply("tok-9")));
    std::vector<std::string> args = {"--host", server.HostPort()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome run = Call(args);
    if (c.message.empty()) {
      EXPECT_EQ(run.code, 0) << run.err;
      EXPECT_EQ(server.Requests().back().body,
                R"({"grant_type":"client_credentials","client_id":"","client_secret":""})");
    } else {
      EXPECT_EQ(run.code, 2);
      EXPECT_EQ(run.err, "kestrava-cli: " + c.message +
                             "\nkestrava-cli: try 'kestrava-cli --help' for more information\n");
    }
  }
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(Cli, HelpIsReadyForAManualPageAndSaysWhatEachOptionDoes) {
  const Outcome help = Call({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out, UsageText());
  const std::string& text = help.out;
  EXPECT_EQ(text.substr(0, text.find('\n')), "Usage: kestrava-cli [OPTION]... COMMAND [ARG]...");
  // Section headings: at the start of a line, ending in ':'.
  for (const char* heading : {"\nCommands:\n", "\nOptions:\n", "\nOutput formats:\n",
                              "\nEnvironment:\n", "\nExit status:\n", "\nExamples:\n"}) {
    EXPECT_NE(text.find(heading), std::string::npos) << heading;
  }
  // Every option on a line of its own, the option first.
  for (const char* option : {"--test",
                             "--host HOST[:PORT]",
                             "--id ID",
                             "--secret SECRET",
                             "--secret-file FILE",
                             "--format FORMAT",
                             "--compact",
                             "--csv-excel",
                             "--output FILE",
                             "--from T",
                             "--to T",
                             "--day DATE",
                             "--last HOURS",
                             "--account N",
                             "--retry N",
                             "--retry-max-time SECONDS",
                             "--timeout SECONDS",
                             "--max-time SECONDS",
                             "--exact-errors",
                             "--help",
                             "--version"}) {
    const std::size_t at = text.find("\n  " + std::string(option));
    ASSERT_NE(at, std::string::npos) << option;
    const char after = text[at + 3 + std::string_view(option).size()];
    EXPECT_TRUE(after == ' ' || after == '\n') << option;
  }
  for (const char* fact : {"KESTRAVA_CLIENT_ID",
                           "KESTRAVA_CLIENT_SECRET",
                           "SSL_CERT_FILE",
                           "(default: kestrava.example)",
                           "with \"Z\" appended: it is not converted",
                           "indented JSON with CR LF line ends",
                           "\n  0  ",
                           "\n  1  ",
                           "\n  2  ",
                           "(default 120)",
                           "(default 600)",
                           "mode 0600",
                           "kestrava-cli: retry K of N in S s: REASON",
                           "startDate=2026-12-01T00:00:00.000Z",
                           "endDate=2026-12-31T23:59:59.999Z",
                           "--day today",
                           "\n  csv-excel",
                           "\n  xlsx ",
                           "never a formula",
                           "\nFailures:\n",
                           "    kestrava-cli: REASON\n",
                           "    kestrava-cli: reply: BODY\n",
                           "\n  128+N  "}) {
    EXPECT_NE(text.find(fact), std::string::npos) << fact;
  }
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    EXPECT_LE(end - start, 79u) << text.substr(start, end - start);
    start = end + 1;
  }
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(Cli, VersionComesFromTheBuild) {
  const Outcome version = Call({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "kestrava-cli " KESTRAVA_VERSION "\n");
  EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(Cli, FormatPrintsTheDisplayTextOfAFileOrStandardInput) {
  const std::string text = " {\"b\": [1, 2.50, \"x\\u00e9\"], \"a\": {}} ";
  const std::string path =
      ::testing::TempDir() + "kestrava_cli_format_" + std::to_string(getpid()) + ".json";
  std::ofstream(path, std::ios::binary) << text;

  const Outcome fromFile = Call({"format", path});
  EXPECT_EQ(fromFile.code, 0) << fromFile.err;
  EXPECT_EQ(fromFile.out, Display(text) + "\n");
  EXPECT_NE(fromFile.out.find("\r\n    \"b\""), std::string::npos) << fromFile.out;
  EXPECT_EQ(fromFile.err, "");

  const Outcome fromInput = Call({"format"}, text);
  EXPECT_EQ(fromInput.out, fromFile.out);
  const Outcome compact = Call({"--compact", "format"}, text);
  EXPECT_EQ(compact.out, "{\"b\":[1,2.50,\"x\xC3\xA9\"],\"a\":{}}\n");
  std::remove(path.c_str());
}

TEST_F(Cli, FormatRefusesWhatDoesNotParse) {
  for (const std::string input : {"", "{", "[1,]", "{} {}", "\xFF"}) {
    const Outcome run = Call({"format"}, input);
    EXPECT_EQ(run.code, 1) << input;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "kestrava-cli: not a valid JSON text\n");
  }
}

TEST_F(Cli, InputThatCannotBeReadSaysWhatAndWhy) {
  // A folder opens as a file but fails on the first read.
  const std::string folder = ::testing::TempDir();
  const std::string missing = "/nonexistent/kestrava.json";
  const Outcome fromFolder = Call({"format", folder});
  EXPECT_EQ(fromFolder.code, 1);
  EXPECT_EQ(fromFolder.out, "");
  EXPECT_EQ(fromFolder.err, "kestrava-cli: cannot read " + folder + ": Is a directory\n");
  const Outcome fromMissing = Call({"format", missing});
  EXPECT_EQ(fromMissing.code, 1);
  EXPECT_EQ(fromMissing.err,
            "kestrava-cli: cannot read " + missing + ": No such file or directory\n");

  // Standard input that is a folder.
  const int in = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(in, 0);
  StringSink out, err;
  cli::CliEnvironment env{.in = in, .out = out, .err = err};
  EXPECT_EQ(RunCli({"format"}, env), 1);
  close(in);
  EXPECT_EQ(out.text, "");
  EXPECT_EQ(err.text, "kestrava-cli: cannot read standard input: Is a directory\n");
}

TEST_F(Cli, LoginPrintsTheToken) {
  server.Enqueue(Reply(TokenReply("tok-9")));
  const Outcome run = Service({"login"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "tok-9\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(Cli, ExactErrorsPrintTheErrorTextByteForByte) {
  server.Enqueue(Reply(JsonReply(401, "Unauthorized", "{\"error\":\"invalid_client\"}\r\n")));
  const Outcome run = Service({"--exact-errors", "accounts"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "StatusCode: 401 - Unauthorized\r{\"error\":\"invalid_client\"}\r\n\n");
}

TEST_F(Cli, CredentialsFallBackToTheEnvironmentAndTheSecretNeverShows) {
  environment["KESTRAVA_CLIENT_ID"] = "env-id";
  environment["KESTRAVA_CLIENT_SECRET"] = "env-secret-1";
  // A service that echoes the request in its refusal.
  server.Enqueue(Reply(JsonReply(
      400, "Bad Request",
      R"({"echo":{"grant_type":"client_credentials","client_id":"env-id","client_secret":"env-secret-1"}})")));
  const Outcome run = Call({"--host", server.HostPort(), "--exact-errors", "login"});
  EXPECT_EQ(run.code, 1);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(
      server.Requests()[0].body,
      R"({"grant_type":"client_credentials","client_id":"env-id","client_secret":"env-secret-1"})");
  EXPECT_EQ(run.err.find("env-secret-1"), std::string::npos) << run.err;
  EXPECT_EQ(
      run.err,
      "StatusCode: 400 - Bad Request\r"
      R"({"echo":{"grant_type":"client_credentials","client_id":"env-id","client_secret":"********"}})"
      "\n");

  // Options win over the environment.
  server.Enqueue(Reply(TokenReply("tok-9")));
  EXPECT_EQ(Service({"login"}).code, 0);
  EXPECT_NE(server.Requests()[1].body.find("\"client_id\":\"id-1\""), std::string::npos);

  // A secret in a bad command line is not repeated either.
  const Outcome usage = Call({"--secret", "opt-secret-2", "--account", "opt-secret-2", "login"});
  EXPECT_EQ(usage.code, 2);
  EXPECT_EQ(usage.err.find("opt-secret-2"), std::string::npos) << usage.err;
  // Nor one given after the mistake, nor one that a later --secret replaced.
  const std::vector<std::string> later[] = {
      {"--account", "opt-secret-3", "--secret=opt-secret-3", "transactions", "--last", "1"},
      {"--secret", "opt-secret-4", "--secret", "other-5", "--timeout", "opt-secret-4", "login"},
  };
  for (const std::vector<std::string>& args : later) {
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err.find("opt-secret-"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not \"********\""), std::string::npos) << run.err;
  }
}

TEST_F(Cli, TheSecretIsMaskedAlsoAsTheTokenRequestCarriesIt) {
  // Slashes (common in base64 secrets), a quotation mark and a backslash are
  // escaped in the token request body; a service echoing that body must not
  // reveal the secret either.
  const std::string secret = "ab/c+d\"e\\f==";
  const std::string escaped = "ab\\/c+d\\\"e\\\\f==";
  const std::string echo =
      R"({"echo":{"client_secret":")" + escaped + R"("},"raw":")" + secret + "\"}";
  server.Enqueue(Reply(JsonReply(400, "Bad Request", echo)));
  const Outcome run = Call(
      {"--host", server.HostPort(), "--id", "id-1", "--secret", secret, "--exact-errors", "login"});
  EXPECT_EQ(run.code, 1);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].body.find(escaped), std::string::npos);
  EXPECT_EQ(run.err,
            "StatusCode: 400 - Bad Request\r"
            R"({"echo":{"client_secret":"********"},"raw":"********"})"
            "\n");
}

TEST_F(Cli, TheSecretIsMaskedInFailuresOnlyNeverInAResult) {
  // A secret that also occurs in the data: the data is printed as it came.
  const std::string accounts =
      R"([{"id":"2026","bookingDate":"2026-12-09","open":true,"tok":"tok-9"}])";
  environment["KESTRAVA_CLIENT_SECRET"] = "2026";
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + accounts + "}")));
  const Outcome run = Call({"--host", server.HostPort(), "--id", "id-1", "--compact", "accounts"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, accounts + "\n");

  // The token is a result too.
  server.Enqueue(
      Reply(JsonReply(200, "OK", R"({"status":"200 OK","result":{"accessToken":"a2026b"}})")));
  EXPECT_EQ(Call({"--host", server.HostPort(), "--id", "id-1", "login"}).out, "a2026b\n");

  // A failure text that carries the same data is masked.
  server.Enqueue(Reply(JsonReply(400, "Bad Request", R"({"year":"2026"})")));
  EXPECT_EQ(Call({"--host", server.HostPort(), "--id", "id-1", "login"}).err,
            "kestrava-cli: StatusCode: 400 - Bad Request\n"
            "kestrava-cli: reply: {\"year\":\"********\"}\n");

  // format signs in nowhere and masks nothing, whatever the environment holds.
  environment["KESTRAVA_CLIENT_SECRET"] = "true";
  const Outcome format = Call({"--secret", "true", "--compact", "format"}, R"({"flag":true})");
  EXPECT_EQ(format.code, 0) << format.err;
  EXPECT_EQ(format.out, "{\"flag\":true}\n");
  EXPECT_EQ(Call({"format"}, R"({"flag":true})").out, Display(R"({"flag":true})") + "\n");
}

TEST_F(Cli, AccountsPrintTheWindowsDisplayText) {
  const std::string accounts =
      R"([{"id":"RO49AAAA1B31007593840000","name":"Cont curent"},{"id":2}])";
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + accounts + "}")));
  const Outcome run = Service({"accounts"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, Display(accounts) + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(server.Requests()[1].Header("Authorization"), "Bearer tok-9");

  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", "{\"result\":" + accounts + "}")));
  EXPECT_EQ(Service({"--compact", "accounts"}).out, accounts + "\n");
}

TEST_F(Cli, TransactionsJoinEveryPageAndShowProgressOnlyOnATerminal) {
  for (const bool terminal : {false, true}) {
    SCOPED_TRACE(terminal);
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(200, "OK", R"({"totalPages":"2","result":[{"id":1}]})")));
    server.Enqueue(Reply(JsonReply(200, "OK", R"({"totalPages":2,"result":[{"id":2}]})")));
    const Outcome run = Service({"--test", "transactions", "--from", "2025-05-14T08:30", "--to",
                                 "2025-05-15T08:30:05.250", "--account", "7"},
                                terminal);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, Display(R"([{"id":1},{"id":2}])") + "\n");
    EXPECT_EQ(run.err, terminal ? "\rkestrava-cli: page 1 of 2\rkestrava-cli: page 2 of 2\n" : "");
    const auto requests = server.Requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests.back().Header("Host"), "api.test." + server.HostPort());
    EXPECT_EQ(requests.back().target,
              "/qorn-web-gateway/tavel-accounts/rest/api/ais/qorn-web/export/aisp-transactions"
              "?startDate=2025-05-14T08:30:00.000Z&endDate=2025-05-15T08:30:05.250Z"
              "&pageNumber=1&accountId=7&pageSize=50");
  }
}

TEST_F(Cli, APartialExportFailsWithTheErrorText) {
  server.Enqueue(Reply(TokenReply("tok-9")));
  server.Enqueue(Reply(JsonReply(200, "OK", R"({"totalPages":3,"result":[{"id":1}]})")));
  server.Enqueue(Reply(HttpReply(404, "Not Found", {}, "gone")));
  const Outcome run =
      Service({"transactions", "--from", "2025-05-14T08:30", "--to", "2025-05-15T08:30"}, true);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "\rkestrava-cli: page 1 of 3\nkestrava-cli: 404/Not Found - gone\n");
}

}  // namespace
}  // namespace kestrava::testing
