#include "cli/ByteStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/SignalCleanup.h"

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

std::unique_ptr<FileSpool> FileSpool::Create(const std::string& folder, int& error) {
  int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    // A file system without nameless files: a named one, removed at once.
    std::string name = folder + "/.kestrava-cli-spool.XXXXXX";
    const SignalsHeldBack held;
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

bool FileSpool::ReadBack(const std::function<bool(std::string_view)>& piece) {
  if (Error() != 0) return false;
  if (lseek(fd_, 0, SEEK_SET) != 0) {
    error_ = errno;
    return false;
  }
  std::string chunk(1 << 20, '\0');
  for (;;) {
    const ssize_t n = read(fd_, chunk.data(), chunk.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    if (!piece(std::string_view(chunk.data(), static_cast<std::size_t>(n)))) return false;
  }
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

namespace {

template <class Read>
int WithFile(const std::string& path, std::string& text, Read read) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = read(fd, text);
  close(fd);
  return error;
}

constexpr std::size_t LongestLine = 1 << 16;

}  // namespace

int ReadFile(const std::string& path, std::string& text) {
  return WithFile(path, text, ReadAll);
}

int ReadFirstLine(int fd, std::string& line) {
  line.clear();
  char chunk[4096];
  for (;;) {
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) {
      line.resize(end > 0 && line[end - 1] == '\r' ? end - 1 : end);
      return 0;
    }
    if (line.size() > LongestLine) return EFBIG;
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      line.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

int ReadFirstLineOfFile(const std::string& path, std::string& line) {
  return WithFile(path, line, ReadFirstLine);
}

std::string ErrorDescription(int error) {
  char buffer[256];
  // The GNU strerror_r: gives its text, in `buffer` or a static one.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace kestrava::cli
