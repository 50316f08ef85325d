// What kestrava-cli reads from a descriptor: everything from where it
// stands to the end, whatever kind of file it is, or why it cannot.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "cli/InputBytes.h"
#include "tests/cli/CliFixture.h"

namespace kestrava::cli {
namespace {

using testing::ScratchFolder;
using testing::WriteWhole;

// Some text that is read in more than one piece.
std::string LongText() {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

TEST(ReadAll, ARegularFileFromWhereItsDescriptorStands) {
  ScratchFolder folder;
  const std::string text = LongText();
  struct Case {
    const char* name;
    std::string content;
    off_t start;
  };
  const Case cases[] = {
      {"whole", text, 0},
      {"after a part already read", text, 1000},
      {"at its end", text, static_cast<off_t>(text.size())},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.File("input");
    WriteWhole(path, c.content);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lseek(fd, c.start, SEEK_SET), c.start);
    std::string read = "stale";
    EXPECT_EQ(ReadAll(fd, read), 0);
    close(fd);
    EXPECT_TRUE(read == c.content.substr(static_cast<std::size_t>(c.start)));

    std::string whole;
    EXPECT_EQ(ReadFile(path, whole), 0);
    EXPECT_TRUE(whole == c.content);
  }
}

TEST(ReadAll, FilesThatTellNoSizeAndPipesAreReadToTheirEnd) {
  // The kernel's files give a size of 0 and still hold text.
  std::string status;
  EXPECT_EQ(ReadFile("/proc/self/status", status), 0);
  EXPECT_NE(status.find("VmRSS:"), std::string::npos);

  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  const std::string text = "[1,2,3]\n";
  ASSERT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(ends[1]);
  std::string read;
  EXPECT_EQ(ReadAll(ends[0], read), 0);
  close(ends[0]);
  EXPECT_EQ(read, text);
}

TEST(ReadAll, WhatCannotBeReadGivesItsReason) {
  ScratchFolder folder;
  std::string text;
  EXPECT_EQ(ReadFile(folder.Path(), text), EISDIR);
  EXPECT_EQ(ReadFile(folder.File("missing"), text), ENOENT);
  const int fd = open(folder.Path().c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ReadAll(fd, text), EISDIR);
  close(fd);
}

}  // namespace
}  // namespace kestrava::cli
