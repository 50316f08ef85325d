// kestrava-cli format of a text long enough to go out in many pieces: the
// same bytes as the whole text on every way in and out, and a failed write
// that stops it with its reason.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "json/JSON.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::testing {
namespace {

using CliFormat = CliTest;

// Records of every kind of value, their display text well over a megabyte.
std::string ManyRecords() {
  std::string text = "[";
  for (int i = 0; i < 6000; ++i)
    text += (i > 0 ? ",{\"id\":\"TX-" : "{\"id\":\"TX-") + std::to_string(i) +
            R"(","amount":-12.50,"note":"a\/b \"q\"\n","ok":true,"none":null,)"
            R"("tags":["x",{}],"merchant":{"name":"Caf\u00e9","mcc":"5812"}})";
  return text + "]";
}

// format with `args` and standard input from `in`; standard output is `out`.
int RunFormat(const std::vector<std::string>& args, int in, ByteSink& out, StringSink& err,
              bool outIsTerminal = false) {
  cli::CliEnvironment env{.in = in, .out = out, .err = err, .outIsTerminal = outIsTerminal};
  return cli::RunCli(args, env);
}

TEST_F(CliFormat, ALongTextIsTheWholeTextOnEveryWayInAndOut) {
  ScratchFolder folder;
  const std::string input = folder.File("export.json");
  const std::string text = ManyRecords();
  WriteWhole(input, text);
  const auto value = ParseJSONValue(text);
  ASSERT_NE(value, nullptr);
  const std::string display = Display(text) + "\n";
  const std::string compact = value->ToString() + "\n";
  ASSERT_GT(display.size(), std::size_t{1} << 20);

  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool fromFileDescriptor;  // standard input is the file itself
    bool terminal;
    std::string expected;
  };
  const std::string written = folder.File("out.json");
  const Case cases[] = {
      {"file to standard output", {"format", input}, false, false, display},
      {"file to a terminal", {"format", input}, false, true, display},
      {"standard input that is a file", {"format"}, true, false, display},
      {"compact", {"--compact", "format", input}, false, false, compact},
      {"compact from standard input", {"--compact", "format", "-"}, true, false, compact},
      {"display into a file", {"--output", written, "format", input}, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int in = open(c.fromFileDescriptor ? input.c_str() : "/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(in, 0);
    StringSink out, err;
    EXPECT_EQ(RunFormat(c.args, in, out, err, c.terminal), 0) << err.text;
    close(in);
    EXPECT_EQ(err.text, "");
    EXPECT_TRUE(out.text == c.expected) << out.text.size() << " bytes for " << c.expected.size();
  }
  EXPECT_TRUE(ReadWhole(written) == display);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"export.json", "out.json"}));
}

// Standard output that takes `room` bytes, then fails as a full disk does;
// it counts the writes tried after that.
class FullOutput final : public ByteSink {
 public:
  explicit FullOutput(std::size_t room) : room_(room) {}
  bool Write(std::string_view bytes) override {
    if (error_ != 0) {
      ++writesAfterFailure;
      return false;
    }
    if (bytes.size() > room_) {
      error_ = ENOSPC;
      return false;
    }
    room_ -= bytes.size();
    return true;
  }
  int Error() const noexcept override { return error_; }
  int writesAfterFailure = 0;

 private:
  std::size_t room_;
  int error_ = 0;
};

TEST_F(CliFormat, AFullStandardOutputStopsTheTextWithItsReason) {
  ScratchFolder folder;
  const std::string input = folder.File("export.json");
  WriteWhole(input, ManyRecords());
  for (const char* format : {"display", "compact"}) {
    SCOPED_TRACE(format);
    FullOutput out(200000);
    StringSink err;
    EXPECT_EQ(RunFormat({"--format", format, "format", input}, -1, out, err), 1);
    EXPECT_EQ(err.text, "kestrava-cli: cannot write standard output: No space left on device\n");
    EXPECT_EQ(out.writesAfterFailure, 0);
  }
}

}  // namespace
}  // namespace kestrava::testing
