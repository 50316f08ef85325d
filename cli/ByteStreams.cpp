#include "cli/ByteStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrava::cli {

bool DescriptorSink::Write(std::string_view bytes) {
  while (error_ == 0 && !bytes.empty()) {
    const ssize_t written = write(fd_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EINTR) {
      error_ = errno;
    } else if (written == 0) {
      error_ = EIO;  // no progress and no reason: never loop on it
    }
  }
  return error_ == 0;
}

int ReadAll(int fd, std::string& text) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      text.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

int ReadFile(const std::string& path, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ReadAll(fd, text);
  close(fd);
  return error;
}

std::string ErrorDescription(int error) {
  char buffer[256];
  // The GNU strerror_r: gives its text, in `buffer` or a static one.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace kestrava::cli
