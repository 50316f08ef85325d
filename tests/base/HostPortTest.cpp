// HOST[:PORT] as the programs take a service host: every form accepted and
// every form refused, with what is wrong with it.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/HostPort.h"
#include "base/Options.h"

namespace kestrava {
namespace {

TEST(HostPort, AcceptedForms) {
  const std::string longLabel(63, 'a');
  const std::string longName =
      longLabel + "." + longLabel + "." + longLabel + "." + std::string(61, 'b');  // 253 characters
  ASSERT_EQ(longName.size(), 253u);
  const std::string accepted[] = {
      "kestrava.example",
      "api.test.kestrava.example",
      "localhost",
      "LOCALHOST:8443",
      "my-bank.example:443",
      "a",
      "x1.example",
      "1a.example",
      "xn--bcher-kva.example",  // an internationalised name in its ASCII form
      "host:1",
      "host:65535",
      "host:08443",  // leading zeros of a port are still the number
      "127.0.0.1",
      "127.0.0.1:8443",
      "0.0.0.0",
      "255.255.255.255:65535",
      "[::1]",
      "[::1]:8443",
      "[2001:db8::42]:443",
      "[::ffff:192.0.2.1]",
      "[FE80::1]",
      longName,
      longLabel + ".example",
  };
  for (const std::string& text : accepted) EXPECT_EQ(HostPortProblem(text), std::nullopt) << text;
}

TEST(HostPort, RefusedFormsSayWhatIsWrong) {
  struct Case {
    std::string text;
    std::string problem;
  };
  const Case cases[] = {
      {"", "it is empty"},
      {"https://kestrava.example", "it has a scheme"},
      {"http://h:80/", "it has a scheme"},
      {"kestrava.example/", "it has a path"},
      {"kestrava.example/api", "it has a path"},
      {"h?x=1", "it has a path"},
      {"h#top", "it has a path"},
      {"user@kestrava.example", "it has a user part"},
      {"user:pw@h:443", "it has a user part"},
      {":443", "it has no host"},
      {"[]:443", "it has no host"},
      {"h:", "its port is empty"},
      {"h:http", "its port is no number"},
      {"h:-1", "its port is no number"},
      {"h:+80", "its port is no number"},
      {"h:0", "its port is not from 1 to 65535"},
      {"h:0000", "its port is not from 1 to 65535"},
      {"h:65536", "its port is not from 1 to 65535"},
      {"h:99999", "its port is not from 1 to 65535"},
      {"h:123456789012345678901234", "its port is not from 1 to 65535"},
      {"h:443:80", "an IPv6 address goes in brackets, as [::1]"},
      {"::1", "an IPv6 address goes in brackets, as [::1]"},
      {"[::1", "its IPv6 address has no closing bracket"},
      {"[::1]443", "only :PORT may follow the bracketed address"},
      {"[::1]:0", "its port is not from 1 to 65535"},
      {"[::g]", "its IPv6 address is not valid"},
      {"[1:2:3:4:5:6:7:8:9]", "its IPv6 address is not valid"},
      {"[fe80::1%25eth0]", "its IPv6 address is not valid"},
      {"[127.0.0.1]", "its IPv6 address is not valid"},
      {"bad host", "it has white space or a control character"},
      {" h", "it has white space or a control character"},
      {"h\t", "it has white space or a control character"},
      {"h\x7f", "it has white space or a control character"},
      {"b\xC3\xBC"
       "cher.example",
       "a name in another script needs its ASCII form, xn--..."},
      {"under_score.example", "a host name has only letters, digits, hyphens and dots"},
      {"star*.example", "a host name has only letters, digits, hyphens and dots"},
      {"h..example", "a host name has no empty part between dots"},
      {".example", "a host name has no empty part between dots"},
      {"example.", "a host name has no empty part between dots"},
      {"-bank.example", "a part of a host name neither starts nor ends with a hyphen"},
      {"bank-.example", "a part of a host name neither starts nor ends with a hyphen"},
      {std::string(64, 'a') + ".example", "a part of a host name has at most 63 characters"},
      {std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
           std::string(62, 'd'),
       "a host name has at most 253 characters"},
      // A name whose last part is a number is an IPv4 address.
      {"256.1.1.1", "it is no IPv4 address of four numbers from 0 to 255"},
      {"1.2.3", "it is no IPv4 address of four numbers from 0 to 255"},
      {"1.2.3.4.5", "it is no IPv4 address of four numbers from 0 to 255"},
      {"010.0.0.1", "it is no IPv4 address of four numbers from 0 to 255"},
      {"8443", "it is no IPv4 address of four numbers from 0 to 255"},
      {"host.123", "it is no IPv4 address of four numbers from 0 to 255"},
  };
  for (const Case& c : cases) EXPECT_EQ(HostPortProblem(c.text), c.problem) << c.text;
}

TEST(HostPort, AnOptionShowsTheFormExpected) {
  std::string host;
  const std::vector<Option> options = {
      {.name = "--host", .value = HostPortValue(Into(host)), .help = "the host"}};
  EXPECT_EQ(ReadOptions(options, {"--host", "[::1]:8443"}).error, "");
  EXPECT_EQ(host, "[::1]:8443");
  EXPECT_EQ(ReadOptions(options, {"--host=https://h"}).error,
            "option --host needs HOST[:PORT]: a host name, an IPv4 address or a bracketed IPv6 "
            "address, and a port from 1 to 65535, not \"https://h\" (it has a scheme)");
  EXPECT_EQ(host, "[::1]:8443");  // a refused value is not stored
  EXPECT_EQ(OptionHelp(options, 24), "  --host HOST[:PORT]    the host\n");
}

}  // namespace
}  // namespace kestrava
