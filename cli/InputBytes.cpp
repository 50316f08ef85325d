#include "cli/InputBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "output/ByteSink.h"

namespace kestrava::cli {
namespace {

constexpr std::size_t kLongestLine = 1 << 16;

template <class Read>
int WithFile(const std::string& path, std::string& text, Read read) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = read(fd, text);
  close(fd);
  return error;
}

// The bytes from the descriptor's position to the end of the regular file it
// reads, as the file's size has them now; 0 for anything else (a pipe, a
// terminal, a file that tells no size).
std::size_t SizeLeft(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  const off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || at >= status.st_size) return 0;
  return static_cast<std::size_t>(status.st_size - at);
}

// Fills `text` from the descriptor; shorter when the end came first. Returns
// 0, or the errno of the failed read.
int ReadInto(int fd, std::string& text) {
  std::size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t n = read(fd, text.data() + filled, text.size() - filled);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    filled += static_cast<std::size_t>(n);
  }
  text.resize(filled);
  return 0;
}

}  // namespace

int ReadAll(int fd, std::string& text) {
  text.clear();
  if (const std::size_t size = SizeLeft(fd); size > 0) {
    text.resize(size);
    if (const int error = ReadInto(fd, text); error != 0) return error;
    if (text.size() < size) return 0;  // the file shrank meanwhile
  }
  // All of a pipe, or what a file gained meanwhile.
  return ReadPieces(fd, 1 << 16, [&](std::string_view bytes) {
    text.append(bytes);
    return true;
  });
}

int ReadFile(const std::string& path, std::string& text) {
  return WithFile(path, text, ReadAll);
}

int ReadFirstLine(int fd, std::string& line) {
  line.clear();
  const int error = ReadPieces(fd, 4096, [&](std::string_view bytes) {
    line.append(bytes);
    return bytes.find('\n') == std::string_view::npos && line.size() <= kLongestLine;
  });
  if (error != 0) return error;
  const std::size_t end = line.find('\n');
  if (end == std::string::npos) return line.size() > kLongestLine ? EFBIG : 0;
  line.resize(end > 0 && line[end - 1] == '\r' ? end - 1 : end);
  return end > kLongestLine ? EFBIG : 0;
}

int ReadFirstLineOfFile(const std::string& path, std::string& line) {
  return WithFile(path, line, ReadFirstLine);
}

}  // namespace kestrava::cli
