#include "sandbox/StateFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "https/HttpsError.h"

namespace kestrava::sandbox {

namespace {

using https::HttpsError;

std::string Reason() {
  return std::strerror(errno);
}

}  // namespace

FileDescriptor::~FileDescriptor() {
  Close();
}

void FileDescriptor::Reset(int fd) noexcept {
  Close();
  fd_ = fd;
}

bool FileDescriptor::Close() noexcept {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

StateFolder::StateFolder(std::filesystem::path path) : path_(std::move(path)) {
  const std::string name = path_.string();
  if (path_.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(path_.parent_path(), ignored);
  }
  if (::mkdir(name.c_str(), 0700) != 0 && errno != EEXIST)
    throw HttpsError("Cannot make the state folder " + name + ": " + Reason());
  folder_.Reset(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder_.Get() < 0) {
    if (errno != ELOOP && errno != ENOTDIR)
      throw HttpsError("Cannot open the state folder " + name + ": " + Reason());
    struct stat link {};
    const bool isLink = ::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    throw HttpsError("The state folder " + name +
                     (isLink ? " is a symbolic link" : " is not a folder"));
  }
  struct stat info {};
  if (::fstat(folder_.Get(), &info) != 0)
    throw HttpsError("Cannot read the state folder " + name + ": " + Reason());
  if (info.st_uid != ::getuid())
    throw HttpsError("The state folder " + name + " belongs to another user");
  // Whatever lies in a folder that others can write may have been planted
  // there: it is neither trusted nor tidied away, and the folder is left
  // as it is.
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    throw HttpsError("The state folder " + name +
                     " can be written by other users; use a folder that only you can write");
  if ((info.st_mode & 077) != 0 && ::fchmod(folder_.Get(), 0700) != 0)
    throw HttpsError("Cannot close the state folder " + name + " to other users: " + Reason());
}

StateFolder::~StateFolder() = default;

std::optional<std::string> StateFolder::Read(const std::string& name) const {
  const std::filesystem::path file = path_ / name;
  const auto refuse = [&file](const std::string& problem) {
    return HttpsError(file.string() + " " + problem + "; remove it or use another state folder");
  };
  // Non-blocking, so that a pipe planted under the name cannot stall the start.
  FileDescriptor fd(
      ::openat(folder_.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    if (errno == ELOOP) throw refuse("is a symbolic link");
    throw HttpsError("Cannot read " + file.string() + ": " + Reason());
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0)
    throw HttpsError("Cannot read " + file.string() + ": " + Reason());
  if (!S_ISREG(info.st_mode)) throw refuse("is not a regular file");
  if (info.st_uid != ::getuid()) throw refuse("belongs to another user");
  std::string text;
  char buffer[16384];
  while (true) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n == 0) return text;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw HttpsError("Cannot read " + file.string() + ": " + Reason());
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

void StateFolder::Write(const std::string& name, const std::string& text, mode_t mode) const {
  const std::filesystem::path file = path_ / name;
  const std::string temporary =
      name + ".tmp-" + std::to_string(static_cast<long>(::getpid())) + "-" +
      std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id()));
  const auto fail = [&](const std::string& reason) {
    ::unlinkat(folder_.Get(), temporary.c_str(), 0);
    return HttpsError("Cannot write " + file.string() + ": " + reason);
  };
  // Made new with its final mode, so a key is never readable by others,
  // not even for a moment.
  FileDescriptor fd(::openat(folder_.Get(), temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
  if (fd.Get() < 0) throw HttpsError("Cannot write " + file.string() + ": " + Reason());
  if (::fchmod(fd.Get(), mode) != 0) throw fail(Reason());
  for (std::size_t written = 0; written < text.size();) {
    const ssize_t n = ::write(fd.Get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw fail(Reason());
    written += static_cast<std::size_t>(n);
  }
  if (!fd.Close()) throw fail(Reason());
  if (::renameat(folder_.Get(), temporary.c_str(), folder_.Get(), name.c_str()) != 0)
    throw fail(Reason());
}

StateFolder::Lock::Lock(const StateFolder& folder) {
  const std::filesystem::path file = folder.path_ / ".lock";
  file_.Reset(::openat(folder.folder_.Get(), ".lock",
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (file_.Get() < 0) throw HttpsError("Cannot open " + file.string() + ": " + Reason());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::flock(file_.Get(), LOCK_EX | LOCK_NB) != 0) {
    if (std::chrono::steady_clock::now() > end)
      throw HttpsError("The state folder " + folder.path_.string() +
                       " stays locked by another sandbox");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

StateFolder::Lock::~Lock() = default;  // closing the file releases the lock

}  // namespace kestrava::sandbox
