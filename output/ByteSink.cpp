#include "output/ByteSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kestrava {

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

std::unique_ptr<FileSpool> FileSpool::Create(const std::string& folder, int& error,
                                             TemporaryFileWatch& watch) {
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without nameless files: a named one, removed at once.
    std::string name = folder + "/.kestrava-spool.XXXXXX";
    const HeldBy held(watch);
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
  }
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::unique_ptr<FileSpool>(new FileSpool(fd));
}

FileSpool::~FileSpool() {
  close(fd_);
}

int ReadPieces(int fd, std::size_t size, const std::function<bool(std::string_view)>& piece) {
  std::string chunk(size, '\0');
  for (;;) {
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n == 0) return 0;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (!piece(std::string_view(chunk.data(), static_cast<std::size_t>(n)))) return 0;
  }
}

bool FileSpool::ReadBack(const std::function<bool(std::string_view)>& piece) {
  if (Error() != 0) return false;
  if (lseek(fd_, 0, SEEK_SET) != 0) {
    error_ = errno;
    return false;
  }
  bool taken = true;
  error_ = ReadPieces(fd_, 1 << 20, [&](std::string_view bytes) { return taken = piece(bytes); });
  return error_ == 0 && taken;
}

std::string ErrorDescription(int error) {
  char buffer[256];
  // The GNU strerror_r: gives its text, in `buffer` or a static one.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace kestrava
