// The file replaced as a whole, on a real file system: nothing of the result
// shows before Commit (the temporary file has no name until then), no
// temporary file outlives the target, a new file is 0600 and a replaced one
// keeps its mode, and the watch hears of the temporary file inside its held
// steps.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/OutputTarget.h"

namespace kestrava {
namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed with everything in it.
class Folder {
 public:
  Folder() {
    std::string pattern = ::testing::TempDir() + "kestrava-output-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// What the watch heard, in order; the file it was told of exists when it
// hears of it.
class RecordingWatch final : public TemporaryFileWatch {
 public:
  explicit RecordingWatch(std::vector<std::string>& heard) : heard_(heard) {}
  void Hold() noexcept override { heard_.push_back("hold"); }
  void Release() noexcept override { heard_.push_back("release"); }
  void Made(const std::string& path) override {
    if (path.empty()) {
      heard_.push_back("made without a name");
    } else {
      heard_.push_back(access(path.c_str(), F_OK) == 0 ? "made " + path : "made, but no " + path);
    }
  }
  void Gone() noexcept override { heard_.push_back("gone"); }

 private:
  std::vector<std::string>& heard_;
};

// Opens `path`, failing the test when it cannot.
std::unique_ptr<OutputTarget> Open(const std::string& path, std::vector<std::string>* heard) {
  int error = 0;
  auto target = OpenReplacedFile(
      path, error, heard != nullptr ? std::make_unique<RecordingWatch>(*heard) : nullptr);
  EXPECT_NE(target, nullptr) << path << ": " << ErrorDescription(error);
  return target;
}

TEST(ReplacedFile, ANewFileAppearsWholeAtCommitWithMode0600) {
  Folder folder;
  const std::string path = folder.File("new.csv");
  const mode_t umaskBefore = umask(0);  // the widest umask: 0600 must not come from it
  std::vector<std::string> heard;
  auto target = Open(path, &heard);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->Name(), path);
  ASSERT_TRUE(target->Sink().Write("a,b\r\n"));
  ASSERT_TRUE(target->Sink().Write("1,2\r\n"));

  // Until the commit the temporary file has no name: the folder is empty.
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_EQ(heard, (std::vector<std::string>{"hold", "made without a name", "release"}));

  int error = 0;
  EXPECT_TRUE(target->Commit(error)) << ErrorDescription(error);
  umask(umaskBefore);
  EXPECT_EQ(ReadWhole(path), "a,b\r\n1,2\r\n");
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"new.csv"});
  target.reset();
  // At the commit it got a short name of its own, and went at once.
  ASSERT_EQ(heard.size(), 9u);
  EXPECT_EQ(heard[4].rfind("made " + folder.File(".kestrava-"), 0), 0u) << heard[4];
  EXPECT_EQ(heard[4].size(), ("made " + folder.File(".kestrava-XXXXXX")).size());
  EXPECT_EQ(heard, (std::vector<std::string>{"hold", "made without a name", "release", "hold",
                                             heard[4], "release", "hold", "gone", "release"}));
}

// A name as long as a folder allows: the temporary file's own name is
// short, whatever the file's.
TEST(ReplacedFile, TheLongestFileNamesWork) {
  Folder folder;
  for (const std::size_t length : {248u, 250u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    for (const bool exists : {false, true}) {
      if (exists) WriteWhole(folder.File(name), "old");
      auto target = Open(folder.File(name), nullptr);
      ASSERT_NE(target, nullptr);
      ASSERT_TRUE(target->Sink().Write("new"));
      int error = 0;
      EXPECT_TRUE(target->Commit(error)) << ErrorDescription(error);
      EXPECT_EQ(ReadWhole(folder.File(name)), "new");
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
    fs::remove(folder.File(name));
  }
}

TEST(ReplacedFile, AReplacedFileKeepsItsModeAndALinkStays) {
  Folder folder;
  const std::string shared = folder.File("shared.json");
  WriteWhole(shared, "old");
  chmod(shared.c_str(), 0644);
  const std::string link = folder.File("latest.json");
  ASSERT_EQ(symlink("shared.json", link.c_str()), 0);

  auto target = Open(link, nullptr);
  ASSERT_NE(target, nullptr);
  ASSERT_TRUE(target->Sink().Write("new"));
  EXPECT_EQ(ReadWhole(shared), "old");
  int error = 0;
  EXPECT_TRUE(target->Commit(error)) << ErrorDescription(error);

  EXPECT_EQ(ReadWhole(shared), "new");
  EXPECT_EQ(ModeOf(shared), 0644u);
  struct stat status {};
  ASSERT_EQ(lstat(link.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"latest.json", "shared.json"}));
}

// A link that leads to no file yet is written through, as a shell's
// redirection writes it: the file it names is made, and the link stays.
TEST(ReplacedFile, ALinkToNoFileYetMakesTheFileItLeadsTo) {
  Folder folder;
  fs::create_directory(folder.File("exports"));
  struct Case {
    std::vector<std::pair<std::string, std::string>> links;  // name, what it holds
    std::string written;                                     // the file the result lands in
  };
  const Case cases[] = {
      {{{"latest.csv", "exports/today.csv"}}, "exports/today.csv"},
      {{{"latest.csv", folder.File("exports/absolute.csv")}}, "exports/absolute.csv"},
      // A chain of links, the last one relative to its own folder.
      {{{"latest.csv", "exports/step"}, {"exports/step", "chained.csv"}}, "exports/chained.csv"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.written);
    for (const auto& [name, target] : c.links)
      ASSERT_EQ(symlink(target.c_str(), folder.File(name).c_str()), 0);
    auto target = Open(folder.File("latest.csv"), nullptr);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->Sink().Write("rows"));
    int error = 0;
    EXPECT_TRUE(target->Commit(error)) << ErrorDescription(error);
    EXPECT_EQ(ReadWhole(folder.File(c.written)), "rows");
    EXPECT_EQ(ModeOf(folder.File(c.written)), 0600u);
    for (const auto& [name, unused] : c.links) {
      EXPECT_TRUE(fs::is_symlink(folder.File(name))) << name;
      fs::remove(folder.File(name));
    }
    fs::remove(folder.File(c.written));
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"exports"});
  EXPECT_TRUE(fs::is_empty(folder.File("exports")));

  // A link into a folder that does not exist, and a loop of links, are
  // refused as the system refuses them.
  ASSERT_EQ(symlink("missing/today.csv", folder.File("nowhere").c_str()), 0);
  ASSERT_EQ(symlink("loop-b", folder.File("loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", folder.File("loop-b").c_str()), 0);
  for (const auto& [name, expected] : {std::pair{"nowhere", ENOENT}, std::pair{"loop-a", ELOOP}}) {
    int error = 0;
    EXPECT_EQ(OpenReplacedFile(folder.File(name), error), nullptr) << name;
    EXPECT_EQ(error, expected) << name << ": " << ErrorDescription(error);
  }
}

TEST(ReplacedFile, WithoutACommitTheFileStaysAsItWasAndNothingIsLeft) {
  Folder folder;
  const std::string kept = folder.File("kept.json");
  const std::string absent = folder.File("absent.json");
  WriteWhole(kept, "yesterday");
  for (const std::string& path : {kept, absent}) {
    SCOPED_TRACE(path);
    std::vector<std::string> heard;
    auto target = Open(path, &heard);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->Sink().Write("half a result"));
    target.reset();
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"kept.json"});
    ASSERT_EQ(heard.size(), 6u);
    EXPECT_EQ(heard[4], "gone");
  }
  EXPECT_EQ(ReadWhole(kept), "yesterday");
}

TEST(ReplacedFile, WhatCannotBeReplacedIsRefusedAndNothingIsMade) {
  Folder folder;
  WriteWhole(folder.File("plain"), "x");
  std::vector<std::pair<std::string, int>> cases = {
      {folder.File("missing/out.json"), ENOENT},
      {folder.File("plain/out.json"), ENOTDIR},
      {folder.File(""), EISDIR},
  };
  if (access("/dev/null", W_OK) == 0) cases.push_back({"/dev/null", EINVAL});
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    std::vector<std::string> heard;
    int error = 0;
    EXPECT_EQ(OpenReplacedFile(path, error, std::make_unique<RecordingWatch>(heard)), nullptr);
    EXPECT_EQ(error, expected) << ErrorDescription(error);
    EXPECT_TRUE(std::none_of(heard.begin(), heard.end(),
                             [](const std::string& e) { return e.rfind("made", 0) == 0; }));
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"plain"});
}

TEST(ReplacedFile, ASpoolBesideTheFileReadsBackAndLeavesNoName) {
  Folder folder;
  auto target = Open(folder.File("rows.csv"), nullptr);
  ASSERT_NE(target, nullptr);
  int error = 0;
  const std::unique_ptr<Spool> spool = target->NewSpool(error);
  ASSERT_NE(spool, nullptr) << ErrorDescription(error);
  const std::string row = "1,2,3\r\n";
  std::string written;
  for (int i = 0; i < 50000; ++i) {  // more than one piece read back
    ASSERT_TRUE(spool->Write(row));
    written += row;
  }
  EXPECT_TRUE(folder.Names().empty());  // neither it nor the temporary file has a name
  std::string back;
  EXPECT_TRUE(spool->ReadBack([&](std::string_view piece) {
    back.append(piece);
    return true;
  }));
  EXPECT_EQ(back, written);
}

}  // namespace
}  // namespace kestrava
