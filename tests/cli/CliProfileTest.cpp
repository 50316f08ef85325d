// Profiles of the configuration file: what each key fills in, what wins over
// it, every mistake named with its file and line, and the files refused.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/CliArguments.h"
#include "cli/Profiles.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using cli::ApplyProfile;
using cli::CliArguments;
using cli::ParseArguments;

// The accounts reply of one account, as the scripted server sends it.
constexpr std::string_view kAccounts = R"({"result":[{"accountId":7}]})";

class CliProfile : public CliTest {
 protected:
  CliProfile() {
    environment["HOME"] = home.Path();
    config = home.File("kestrava.conf");
  }

  // The configuration file with `text`, private unless `mode` says otherwise.
  void WriteConfig(std::string_view text, mode_t mode = 0600) {
    WriteWhole(config, text);
    chmod(config.c_str(), mode);
  }

  // The arguments once parsed and filled in by the profile; the error of
  // either step in `error`.
  CliArguments Applied(const std::vector<std::string>& args, std::string& error) {
    CliArguments parsed = ParseArguments(args);
    error = parsed.error;
    if (error.empty()) {
      error = ApplyProfile(parsed, [this](const std::string& name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
      });
    }
    return parsed;
  }

  // The usage failure for `message`, as standard error shows it.
  static std::string UsageLines(const std::string& message) {
    return "kestrava-cli: " + message +
           "\nkestrava-cli: try 'kestrava-cli --help' for more information\n";
  }

  ScratchFolder home;
  std::string config;
};

TEST_F(CliProfile, EachKeyFillsWhatTheCommandLineAndTheEnvironmentLeaveOpen) {
  const auto text = [](const std::optional<std::string>& value) { return value.value_or("-"); };
  const auto number = [](const std::optional<int>& value) {
    return value ? std::to_string(*value) : std::string("-");
  };
  struct Case {
    std::string line;  // in [profile acme]
    std::function<std::string(const CliArguments&)> field;
    std::string fromProfile;
    std::vector<std::string> commandLine = {};  // options that win; none: no option does
    std::string fromCommandLine = {};
    std::string variable = {}, fromVariable = {};  // a variable that wins; "": none does
    std::string command = "login";                 // one that takes the key's option
  };
  const std::string home = this->home.Path();
  const Case cases[] = {
      {"id = K27315TQB",
       [&](const CliArguments& a) { return text(a.id); },
       "K27315TQB",
       {"--id", "other"},
       "other",
       "KESTRAVA_CLIENT_ID",
       "-"},
      {"host = bank.example:8443",
       [&](const CliArguments& a) { return text(a.host); },
       "bank.example:8443",
       {"--host", "other.example"},
       "other.example"},
      {"test = true", [](const CliArguments& a) { return std::to_string(a.test); }, "1"},
      {"test = false",
       [](const CliArguments& a) { return std::to_string(a.test); },
       "0",
       {"--test"},
       "1"},
      {"secret-file = ~/secret",
       [&](const CliArguments& a) { return text(a.secretFile); },
       home + "/secret",
       {"--secret", "typed"},
       "-",
       "KESTRAVA_CLIENT_SECRET",
       "-"},
      {"secret-file = /etc/kestrava/secret",
       [&](const CliArguments& a) { return text(a.secretFile); },
       "/etc/kestrava/secret",
       {"--keyring"},
       "-"},
      {"keyring = true",
       [](const CliArguments& a) { return std::to_string(a.keyring); },
       "1",
       {"--secret-file", "f"},
       "0",
       "KESTRAVA_CLIENT_SECRET",
       "0"},
      {"keyring = false", [](const CliArguments& a) { return std::to_string(a.keyring); }, "0"},
      {"db = ~/books/acme.db",
       [&](const CliArguments& a) { return text(a.db); },
       home + "/books/acme.db",
       {"--db", "/other.db"},
       "/other.db",
       "KESTRAVA_DB",
       "-"},
      {"format = csv",
       [](const CliArguments& a) { return std::to_string(int(a.format)); },
       std::to_string(int(OutputFormat::Csv)),
       {"--compact"},
       std::to_string(int(OutputFormat::Compact))},
      {"retry = 5",
       [](const CliArguments& a) { return std::to_string(a.retries); },
       "5",
       {"--retry", "0"},
       "0"},
      {"retry-max-time = 30",
       [](const CliArguments& a) { return std::to_string(a.retryMaxTimeSeconds); },
       "30",
       {"--retry-max-time=9"},
       "9"},
      {"timeout = 7",
       [](const CliArguments& a) { return std::to_string(a.timeoutSeconds); },
       "7",
       {"--timeout", "3"},
       "3"},
      {"overlap = 24",
       [&](const CliArguments& a) { return number(a.overlapHours); },
       "24",
       {"--overlap", "6"},
       "6",
       {},
       {},
       "sync"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    WriteConfig("[profile acme]\n" + c.line + "\n[profile other]\nretry = 1\n");
    std::vector<std::string> args = {"--config", config, "--profile", "acme", c.command};
    std::string error;
    EXPECT_EQ(c.field(Applied(args, error)), c.fromProfile);
    EXPECT_EQ(error, "");
    if (!c.commandLine.empty()) {
      std::vector<std::string> given = args;
      given.insert(given.begin(), c.commandLine.begin(), c.commandLine.end());
      EXPECT_EQ(c.field(Applied(given, error)), c.fromCommandLine);
      EXPECT_EQ(error, "");
    }
    if (!c.variable.empty()) {
      environment[c.variable] = "from-environment";
      EXPECT_EQ(c.field(Applied(args, error)), c.fromVariable);
      EXPECT_EQ(error, "");
      // Set but empty, a variable gives nothing, and the profile counts.
      environment[c.variable] = "";
      EXPECT_EQ(c.field(Applied(args, error)), c.fromProfile);
      environment.erase(c.variable);
    }
  }
}

// A key is checked and stored by its option's row, and yields to the options
// named beside it: each of them must be a row of the table.
TEST(CliProfileKeys, EachKeyAndWhatWinsOverItAreOptionsOfTheTable) {
  CliArguments unused;
  const std::vector<Option> options = cli::CliOptions(unused);
  const auto isOption = [&](std::string_view name) {
    return std::any_of(options.begin(), options.end(),
                       [&](const Option& option) { return option.name == name; });
  };
  for (const cli::ProfileKey& key : cli::ProfileKeys()) {
    SCOPED_TRACE(key.name);
    EXPECT_TRUE(isOption(key.option)) << key.option;
    for (const std::string_view winner : key.overriddenBy) EXPECT_TRUE(isOption(winner)) << winner;
  }
}

TEST_F(CliProfile, TheCommandLineWinsOverTheEnvironmentAndTheEnvironmentOverTheProfile) {
  const std::string secret = home.File("secret");
  WriteWhole(secret, "from-profile-file\n");
  chmod(secret.c_str(), 0600);
  WriteConfig("# the client of Acme Ltd\n[profile acme]\nid = profile-id\nhost = " +
              server.HostPort() + "\nsecret-file = ~/secret\nformat = compact\nretry = 1\n");
  struct Case {
    std::string name;
    std::map<std::string, std::string> environment;
    std::vector<std::string> options;
    std::string id, secret;
  };
  const Case cases[] = {
      {"the profile alone", {}, {}, "profile-id", "from-profile-file"},
      {"the environment",
       {{"KESTRAVA_CLIENT_ID", "env-id"}, {"KESTRAVA_CLIENT_SECRET", "env-secret"}},
       {},
       "env-id",
       "env-secret"},
      {"the command line",
       {{"KESTRAVA_CLIENT_ID", "env-id"}, {"KESTRAVA_CLIENT_SECRET", "env-secret"}},
       {"--id", "line-id", "--secret", "line-secret"},
       "line-id",
       "line-secret"},
      {"the profile picked by the environment",
       {{"KESTRAVA_PROFILE", "acme"}},
       {},
       "profile-id",
       "from-profile-file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    environment = c.environment;
    environment["HOME"] = home.Path();
    // A request that fails in passing is tried again: the profile's retry.
    server.Enqueue(Reply(HttpReply(503, "Service Unavailable", {"Retry-After: 0"}, "busy")));
    server.Enqueue(Reply(TokenReply("tok-9")));
    server.Enqueue(Reply(JsonReply(200, "OK", kAccounts)));
    std::vector<std::string> args = {"--config", config};
    if (!environment.contains("KESTRAVA_PROFILE")) args.insert(args.end(), {"--profile", "acme"});
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("accounts");
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "[{\"accountId\":7}]\n");  // the profile's format
    ASSERT_GE(server.Requests().size(), 2u);
    EXPECT_EQ(server.Requests()[server.Requests().size() - 2].body,
              R"({"grant_type":"client_credentials","client_id":")" + c.id +
                  R"(","client_secret":")" + c.secret + R"("})");
  }
}

TEST_F(CliProfile, AWorkbookThatAProfileAsksForNeverGoesToATerminal) {
  WriteConfig("[profile acme]\nid = profile-id\nsecret-file = /dev/null\nformat = xlsx\n");
  outIsTerminal = true;
  const Outcome run = Call({"--config", config, "--profile", "acme", "accounts"});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, UsageLines("--format xlsx writes a workbook: give --output FILE, or send "
                                "standard output to a file or a program"));
  EXPECT_EQ(server.Requests().size(), 0u);
  // The command line's format wins over the profile's.
  server.Enqueue(Reply(TokenReply("tok-1")));
  server.Enqueue(Reply(JsonReply(200, "OK", kAccounts)));
  const Outcome compact = Call({"--config", config, "--profile", "acme", "--host",
                                server.HostPort(), "--compact", "--secret", "s", "accounts"});
  EXPECT_EQ(compact.code, 0) << compact.err;
  EXPECT_EQ(compact.out, "[{\"accountId\":7}]\n");
}

TEST_F(CliProfile, EveryMistakeIsBadUsageNamingTheFileAndLine) {
  struct Case {
    std::string text;
    std::string message;  // after "FILE:"
  };
  const std::string keys =
      "id, host, test, secret-file, keyring, db, format, retry, retry-max-time, timeout, overlap";
  const std::string secretMessage =
      "a profile does not hold the secret itself: keep it in the keyring (keyring = true, then "
      "kestrava-cli --profile acme secret set) or in a file that only you can read (secret-file "
      "= FILE)";
  const Case cases[] = {
      {"[profile acme]\nsecret = s3cret-value\n", "2: " + secretMessage},
      {"[profile acme]\nid = x\n\n[profile other]\nid = y\nsecret=z\n",
       "6: " + secretMessage.substr(0, secretMessage.find("acme")) + "other" +
           secretMessage.substr(secretMessage.find("acme") + 4)},
      {"id = x\n[profile acme]\n", "1: key id outside a [profile NAME] section"},
      {"[profile acme]\nid = x\n[settings]\n",
       "3: unknown section [settings]: a section is "
       "[profile NAME]"},
      {"[profile acme]\n[profile]\n",
       "2: a profile's name is 1 to 40 letters, digits, '.', '_' or '-', not \"\""},
      {"[profile acme corp]\nid = x\n",
       "1: a profile's name is 1 to 40 letters, digits, '.', '_' or '-', not \"acme corp\""},
      {"[profile " + std::string(41, 'a') + "]\n",
       "1: a profile's name is 1 to 40 letters, digits, '.', '_' or '-', not \"" +
           std::string(41, 'a') + "\""},
      {"[profile acme]\nid = x\n[profile acme]\nretry = 1\n",
       "3: profile acme again (first on line 1)"},
      {"[profile acme]\nid = x\nretry = 1\nretry = 2\n",
       "4: key retry again in profile acme (first on line 3)"},
      {"[profile acme]\nhots = x\n", "2: unknown key hots in profile acme; the keys are " + keys},
      {"[profile acme]\nID = x\n", "2: unknown key ID in profile acme; the keys are " + keys},
      {"[profile acme]\nid = x\nthis line is no key\n",
       "3: neither a [profile NAME] heading nor KEY = VALUE"},
      {"[profile acme\nid = x\n", "1: neither a [profile NAME] heading nor KEY = VALUE"},
      {"[profile acme]\nretry = five\n",
       "2: retry needs a whole number from 0 to 1000000, not \"five\""},
      {"[profile acme]\nretry-max-time = -1\n",
       "2: retry-max-time needs a whole number of seconds from 0 to 2147483, not \"-1\""},
      {"[profile acme]\ntimeout = 0\n",
       "2: timeout needs a whole number of seconds from 1 to 2147483, not \"0\""},
      {"[profile acme]\noverlap = 3d\n",
       "2: overlap needs a whole number of hours from 0 to 876000, not \"3d\""},
      {"[profile acme]\nformat = xml\n",
       "2: format needs display, compact, ndjson, csv, csv-excel or xlsx, not \"xml\""},
      {"[profile acme]\ntest = yes\n", "2: test needs true or false, not \"yes\""},
      {"[profile acme]\nkeyring = 1\n", "2: keyring needs true or false, not \"1\""},
      {"[profile acme]\nhost =\n",
       "2: host needs HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 address, "
       "and a port from 1 to 65535, not \"\" (it is empty)"},
      {"[profile acme]\nhost = https://bank.example\n",
       "2: host needs HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 address, "
       "and a port from 1 to 65535, not \"https://bank.example\" (it has a scheme)"},
      {"[profile acme]\nsecret-file = secret.txt\n",
       "2: secret-file needs an absolute path or one that starts with ~/, not \"secret.txt\""},
      {"[profile acme]\ndb = \"/data/acme.db\"\n",
       "2: db needs an absolute path or one that starts with ~/, not \"\"/data/acme.db\"\""},
      {"[profile acme]\nsecret-file = ~/s\nkeyring = true\n",
       "3: give the secret either with secret-file or with keyring = true, not both"},
      {std::string("[profile acme]\nid = x\0y\n", 24), "2: a NUL byte"},
      {"[profile acme]\nid = " + std::string(300, 'x') + "\n",
       "2: a line longer than 198 characters"},
      // The first mistake counts, wherever it is.
      {"[profile acme]\nretry = x\n[other]\n",
       "2: retry needs a whole number from 0 to 1000000, not \"x\""},
      {"[profile acme]\nno key here\nretry = x\n",
       "2: neither a [profile NAME] heading nor KEY = VALUE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteConfig(c.text);
    const Outcome run = Service({"--config", config, "--profile", "acme", "login"});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, UsageLines(config + ":" + c.message));
  }
  // Never the secret itself, whatever the mistake.
  EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(CliProfile, WhatTheReaderTakesAsWritten) {
  // A byte order mark, CR LF line ends, indented keys, blank lines,
  // comments of both kinds, a comment after a value, a second profile.
  WriteConfig(
      "\xEF\xBB\xBF; profiles\r\n[profile acme]\r\n  id = indented\r\n\tretry=4 ; four\r\n"
      "\r\n# next\r\n[ profile   other ]\r\nid = x\r\n");
  std::string error;
  const CliArguments acme = Applied({"--config", config, "--profile", "acme", "login"}, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(acme.id.value_or("-"), "indented");
  EXPECT_EQ(acme.retries, 4);
  const CliArguments other = Applied({"--config", config, "--profile", "other", "login"}, error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(other.id.value_or("-"), "x");
  EXPECT_EQ(other.retries, 0);
}

TEST_F(CliProfile, WhichFileAndWhichProfile) {
  const std::string profile = "[profile acme]\nid = from-file\n";
  struct Case {
    std::string name;
    std::map<std::string, std::string> environment;
    std::vector<std::string> options;
    std::string file;     // where the configuration is written ("": nowhere)
    std::string outcome;  // the id, or "usage: MESSAGE"
  };
  const std::string xdg = home.File("xdg");
  const std::string defaultFile = home.Path() + "/.config/kestrava/kestrava.conf";
  const Case cases[] = {
      {"XDG_CONFIG_HOME",
       {{"XDG_CONFIG_HOME", xdg}},
       {"--profile", "acme"},
       xdg + "/kestrava/kestrava.conf",
       "from-file"},
      {"~/.config without XDG_CONFIG_HOME", {}, {"--profile", "acme"}, defaultFile, "from-file"},
      {"a relative XDG_CONFIG_HOME counts as unset",
       {{"XDG_CONFIG_HOME", "relative"}},
       {"--profile", "acme"},
       defaultFile,
       "from-file"},
      {"KESTRAVA_PROFILE", {{"KESTRAVA_PROFILE", "acme"}}, {}, defaultFile, "from-file"},
      {"--profile over KESTRAVA_PROFILE",
       {{"KESTRAVA_PROFILE", "nowhere"}},
       {"--profile", "acme"},
       defaultFile,
       "from-file"},
      {"no profile: the file is not read",
       {{"KESTRAVA_PROFILE", ""}},
       {"--id", "typed"},
       "",
       "typed"},
      {"no such profile",
       {},
       {"--profile", "beta"},
       defaultFile,
       "usage: no profile beta in " + defaultFile},
      {"no file",
       {},
       {"--profile", "acme"},
       "",
       "usage: cannot read the configuration file " + defaultFile + ": No such file or directory"},
      {"--config without a profile",
       {},
       {"--config", config},
       config,
       "usage: --config needs a profile: give --profile NAME or set KESTRAVA_PROFILE"},
      {"neither HOME nor XDG_CONFIG_HOME",
       {{"HOME", ""}},
       {"--profile", "acme"},
       "",
       "usage: no configuration file for profile acme: neither XDG_CONFIG_HOME nor HOME is set; "
       "give --config FILE"},
      {"--profile without a name",
       {},
       {"--profile", ""},
       "",
       "usage: option --profile needs a profile name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(home.File(".config"));
    std::filesystem::remove_all(xdg);
    std::filesystem::remove(config);
    if (!c.file.empty()) {
      std::filesystem::create_directories(std::filesystem::path(c.file).parent_path());
      WriteWhole(c.file, profile);
      chmod(c.file.c_str(), 0600);
    }
    environment = c.environment;
    if (!environment.contains("HOME")) environment["HOME"] = home.Path();
    std::vector<std::string> args = c.options;
    args.push_back("secret");
    args.push_back("status");
    std::string error;
    const CliArguments applied = Applied(args, error);
    if (c.outcome.starts_with("usage: ")) {
      EXPECT_EQ(error, c.outcome.substr(7));
      // As the program says it: bad usage, before anything else.
      const Outcome run = Call(args);
      EXPECT_EQ(run.code, 2);
      EXPECT_EQ(run.err, UsageLines(c.outcome.substr(7)));
    } else {
      EXPECT_EQ(error, "");
      EXPECT_EQ(applied.id.value_or("-"), c.outcome);
    }
  }
}

TEST_F(CliProfile, AFileThatOtherUsersCouldChangeIsRefused) {
  const std::string text = "[profile acme]\nid = x\n";
  const std::string open = home.File("open");      // writable by all, no sticky bit
  const std::string sticky = home.File("sticky");  // writable by all, as /tmp
  const std::string group = home.File("group");    // writable by the group
  std::filesystem::create_directories(open);
  std::filesystem::create_directories(sticky);
  std::filesystem::create_directories(group);
  chmod(open.c_str(), 0777);
  chmod(sticky.c_str(), 01777);
  chmod(group.c_str(), 0770);
  struct Case {
    std::string name;
    std::function<std::string()> lay;  // lays the file out; its path
    std::string refusal;  // after "the configuration file PATH is refused: "; "": taken
  };
  const auto file = [&](const std::string& path, mode_t mode) {
    WriteWhole(path, text);
    chmod(path.c_str(), mode);
    return path;
  };
  const Case cases[] = {
      {"private", [&] { return file(config, 0600); }, ""},
      {"readable by all", [&] { return file(config, 0644); }, ""},
      {"writable by the group", [&] { return file(config, 0620); },
       "other users can write it (mode 0620); make it writable by its owner alone: chmod go-w "},
      {"writable by all", [&] { return file(config, 0666); },
       "other users can write it (mode 0666); make it writable by its owner alone: chmod go-w "},
      {"in a folder that all can write", [&] { return file(open + "/k.conf", 0600); },
       "other users can write its folder " + open + " (mode 0777)"},
      {"in a folder that the group can write", [&] { return file(group + "/k.conf", 0600); },
       "other users can write its folder " + group + " (mode 0770)"},
      {"in a folder with the sticky bit", [&] { return file(sticky + "/k.conf", 0600); }, ""},
      {"a link to a private file, the link in an open folder",
       [&] {
         file(config, 0600);
         const std::string link = open + "/link.conf";
         std::filesystem::remove(link);
         std::filesystem::create_symlink(config, link);
         return link;
       },
       "other users can write its folder " + open + " (mode 0777)"},
      {"a link in a private folder to a file in an open one",
       [&] {
         const std::string target = file(open + "/target.conf", 0600);
         const std::string link = home.File("link.conf");
         std::filesystem::remove(link);
         std::filesystem::create_symlink(target, link);
         return link;
       },
       "other users can write its folder " + open + " (mode 0777)"},
      {"a folder", [&] { return open; }, "it is no regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.lay();
    const Outcome run = Service({"--config", path, "--profile", "acme", "login"});
    if (c.refusal.empty()) {
      // Taken: the run goes on to sign in (and fails on the empty script).
      EXPECT_NE(run.code, 2) << run.err;
      continue;
    }
    std::string refusal = c.refusal;
    if (refusal.ends_with("chmod go-w ")) refusal += path;
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.err, UsageLines("the configuration file " + path + " is refused: " + refusal));
  }
  if (geteuid() == 0) {
    // Another user's file, or a file in another user's folder.
    file(config, 0600);
    ASSERT_EQ(chown(config.c_str(), 65534, 65534), 0);
    Outcome run = Service({"--config", config, "--profile", "acme", "login"});
    EXPECT_EQ(run.err, UsageLines("the configuration file " + config +
                                  " is refused: it belongs to another user (uid 65534)"));
    const std::string theirs = home.File("theirs");
    std::filesystem::create_directories(theirs);
    file(theirs + "/k.conf", 0600);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    run = Service({"--config", theirs + "/k.conf", "--profile", "acme", "login"});
    EXPECT_EQ(run.err,
              UsageLines("the configuration file " + theirs + "/k.conf is refused: its folder " +
                         theirs + " belongs to another user (uid 65534)"));
  }
}

TEST_F(CliProfile, ASecretFileThatOthersCanGetAtIsWarnedAboutOnce) {
  const std::string secret = home.File("secret");
  struct Case {
    mode_t mode;
    bool profile;  // named by the profile rather than --secret-file
    bool warned;
  };
  const Case cases[] = {
      {0600, false, false}, {0400, false, false}, {0640, false, true}, {0604, false, true},
      {0620, false, true},  {0644, true, true},   {0600, true, false},
  };
  WriteConfig("[profile acme]\nsecret-file = ~/secret\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + (c.profile ? " in a profile" : ""));
    WriteWhole(secret, "s3cret-value\n");
    chmod(secret.c_str(), c.mode);
    // A sign-in, then a token that expired: the second sign-in reads no file.
    server.Enqueue(Reply(TokenReply("tok-1")));
    server.Enqueue(Reply(JsonReply(401, "Unauthorized", "expired")));
    server.Enqueue(Reply(TokenReply("tok-2")));
    server.Enqueue(Reply(JsonReply(200, "OK", kAccounts)));
    std::vector<std::string> args = {"--host", server.HostPort(), "--id", "id-1", "--retry", "1"};
    if (c.profile) {
      args.insert(args.end(), {"--config", config, "--profile", "acme"});
    } else {
      args.insert(args.end(), {"--secret-file", secret});
    }
    args.push_back("accounts");
    const Outcome run = Call(args);
    EXPECT_EQ(run.code, 0) << run.err;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(c.mode));
    const std::string warning = "kestrava-cli: warning: other users can get at the secret file " +
                                secret + " (mode " + mode + "); make it private: chmod 600 " +
                                secret + "\n";
    const std::size_t first = run.err.find(warning);
    EXPECT_EQ(first != std::string::npos, c.warned) << run.err;
    if (first != std::string::npos) {
      EXPECT_EQ(run.err.find(warning, first + 1), std::string::npos) << "warned twice";
    }
    EXPECT_EQ(
        server.Requests()[server.Requests().size() - 4].body,
        R"({"grant_type":"client_credentials","client_id":"id-1","client_secret":"s3cret-value"})");
  }
}

TEST_F(CliProfile, TheSecretCommandAndTheKeyringOptionInBadUsage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string keyringAlone =
      "--keyring reads the secret from the keyring: give no --secret or --secret-file with it";
  const Case cases[] = {
      {{"--id", "K1", "secret"}, "secret needs set, clear or status"},
      {{"--id", "K1", "secret", "show"}, "secret needs set, clear or status, not \"show\""},
      {{"--id", "K1", "secret", "set", "now"}, "too many arguments for secret"},
      {{"--keyring", "--secret", "s3cret-value", "login"}, keyringAlone},
      {{"--secret-file", "f", "--keyring", "login"}, keyringAlone},
      {{"--keyring=yes", "login"}, "option --keyring takes no value"},
      {{"secret", "status"},
       "no client id: give --id ID or --profile NAME, or set KESTRAVA_CLIENT_ID"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const Outcome run = Call(c.args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, UsageLines(c.message));
  }
  // Without a keyring of its own (as in these tests) the run says so.
  const Outcome none = Call({"--id", "K1", "--keyring", "login"});
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.err, "kestrava-cli: this build of kestrava-cli has no keyring\n");
  EXPECT_EQ(server.Requests().size(), 0u);
}

}  // namespace
}  // namespace kestrava::testing
