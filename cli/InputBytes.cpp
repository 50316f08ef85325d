#include "cli/InputBytes.h"

#include <fcntl.h>
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

}  // namespace

int ReadAll(int fd, std::string& text) {
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
