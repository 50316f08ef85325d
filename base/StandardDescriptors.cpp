#include "base/StandardDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kestrava {

bool OpenStandardDescriptors() noexcept {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Without O_CLOEXEC: a child started with these gets them as its own.
    const int opened = open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (opened < 0) return false;
    // The lower ones are open by now, so the lowest free number is this
    // one; should it not be, it is moved there.
    if (opened != fd) {
      const bool moved = dup2(opened, fd) == fd;
      close(opened);
      if (!moved) return false;
    }
  }
  return true;
}

}  // namespace kestrava
