// A program started with standard input, output or error closed gets
// /dev/null there, so the next file it opens never takes their numbers.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "base/StandardDescriptors.h"

namespace kestrava {
namespace {

// What the child found wrong, as its exit status; 0 when nothing.
enum ChildStatus {
  kFine = 0,
  kRefused = 10,         // OpenStandardDescriptors gave false
  kNotDevNull = 20,      // + descriptor: closed before, not /dev/null now
  kWrongDirection = 30,  // + descriptor: reads or writes /dev/null
  kNotKept = 40,         // + descriptor: open before, replaced
  kTakenByAFile = 50,    // a file opened afterwards got 0, 1 or 2
};

bool IsDevNull(int fd) {
  struct stat descriptor {
  }, devNull{};
  return fstat(fd, &descriptor) == 0 && stat("/dev/null", &devNull) == 0 &&
         S_ISCHR(descriptor.st_mode) && descriptor.st_rdev == devNull.st_rdev;
}

// In a child: closes `closed`, keeps a pipe on the others, and checks.
int CheckInChild(const std::vector<int>& closed) {
  int ends[2];
  if (pipe(ends) != 0) return 1;
  for (int fd = 0; fd <= 2; ++fd) dup2(fd == 0 ? ends[0] : ends[1], fd);
  for (const int fd : closed) close(fd);
  if (!OpenStandardDescriptors()) return kRefused;
  struct stat pipeEnd {};
  fstat(ends[1], &pipeEnd);
  for (int fd = 0; fd <= 2; ++fd) {
    const bool wasClosed = std::find(closed.begin(), closed.end(), fd) != closed.end();
    if (!wasClosed) {
      struct stat kept {};
      if (fstat(fd, &kept) != 0 || !S_ISFIFO(kept.st_mode)) return kNotKept + fd;
      continue;
    }
    if (!IsDevNull(fd)) return kNotDevNull + fd;
    // Used as it would be, it fails as a closed descriptor does.
    char byte = 'x';
    errno = 0;
    const bool refused = fd == 0 ? read(fd, &byte, 1) < 0 : write(fd, &byte, 1) < 0;
    if (!refused || errno != EBADF) return kWrongDirection + fd;
  }
  const int file = open("/dev/zero", O_RDONLY);
  if (file <= 2) return kTakenByAFile;
  return kFine;
}

TEST(StandardDescriptors, ClosedOnesGetDevNullAndOpenOnesStay) {
  const std::vector<int> cases[] = {{}, {0}, {1}, {2}, {1, 2}, {0, 2}, {0, 1, 2}};
  for (const std::vector<int>& closed : cases) {
    std::string name;
    for (const int fd : closed) name += std::to_string(fd) + " ";
    SCOPED_TRACE("closed: " + name);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(CheckInChild(closed));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kFine);
  }
}

}  // namespace
}  // namespace kestrava
