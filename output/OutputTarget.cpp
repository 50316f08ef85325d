#include "output/OutputTarget.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace kestrava {
namespace {

// The name of a temporary file: short, whatever the length of the file's
// own name (which may be the longest a folder allows), and hidden.
constexpr char kTemporaryPrefix[] = "/.kestrava-";
constexpr int kSymbolicLinksFollowed = 40;  // as the kernel follows them

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A regular file, replaced as a whole: the result goes to a temporary file
// in the same folder (so the rename cannot cross file systems), which is
// flushed to disk and renamed over the file on success, and removed on any
// other way out.
class ReplacedFile final : public OutputTarget {
 public:
  ReplacedFile(std::string name, std::string path, std::unique_ptr<TemporaryFileWatch> watch)
      : OutputTarget(std::move(name)), path_(std::move(path)), watch_(std::move(watch)) {}
  ~ReplacedFile() override {
    if (fd_ >= 0) close(fd_);
    if (!temporary_.empty()) {
      const HeldBy held(*watch_);
      unlink(temporary_.c_str());
      watch_->Gone();
    }
  }

  // Makes the temporary file: mode 0600 for a new file, the mode (and, where
  // allowed, the owner) of the file it replaces otherwise.
  int Open(const struct stat* replaced) {
    std::string name = FolderOf(path_) + kTemporaryPrefix + "XXXXXX";
    {
      const HeldBy held(*watch_);
      fd_ = mkostemp(name.data(), O_CLOEXEC);
      if (fd_ < 0) return errno;
      temporary_ = name;
      watch_->Made(temporary_);
    }
    sink_ = std::make_unique<DescriptorSink>(fd_);
    const mode_t mode = replaced != nullptr ? replaced->st_mode & 07777 : 0600;
    if (fchmod(fd_, mode) != 0) return errno;
    if (replaced != nullptr && fchown(fd_, replaced->st_uid, replaced->st_gid) != 0) {
      // Another owner is for the privileged only; the group may still fit.
      [[maybe_unused]] const int ignored = fchown(fd_, static_cast<uid_t>(-1), replaced->st_gid);
    }
    return 0;
  }

  ByteSink& Sink() override { return *sink_; }

  std::unique_ptr<Spool> NewSpool(int& error) override {
    return FileSpool::Create(FolderOf(path_), error, *watch_);
  }

  bool Commit(int& error) override {
    if (sink_->Error() != 0) {
      error = sink_->Error();
      return false;
    }
    if (fsync(fd_) != 0) {
      error = errno;
      return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
      error = errno;
      return false;
    }
    {
      const HeldBy held(*watch_);
      if (rename(temporary_.c_str(), path_.c_str()) != 0) {
        error = errno;
        return false;
      }
      temporary_.clear();
      watch_->Gone();
    }
    // The rename itself reaches the disk with its folder.
    const int folder = open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
    return true;
  }

 private:
  std::string path_;  // the file replaced: symbolic links followed
  std::unique_ptr<TemporaryFileWatch> watch_;
  std::string temporary_;
  int fd_ = -1;
  std::unique_ptr<DescriptorSink> sink_;
};

// The file a path names, symbolic links followed, as a redirection would
// write it: a link that leads to no file yet names the file it would lead
// to; a path that leads nowhere else is taken as written.
std::string Resolved(std::string path) {
  for (int links = 0; links < kSymbolicLinksFollowed; ++links) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) return path;
    const std::string next(target, static_cast<std::size_t>(length));
    path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
  }
  return path;  // a loop: the system says so when it is used
}

}  // namespace

std::unique_ptr<OutputTarget> OpenReplacedFile(const std::string& path, int& error,
                                               std::unique_ptr<TemporaryFileWatch> watch) {
  const std::string file = Resolved(path);
  struct stat existing {};
  const bool exists = stat(file.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) {
    error = errno;
    return nullptr;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    error = S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  if (watch == nullptr) watch = std::make_unique<TemporaryFileWatch>();
  auto target = std::make_unique<ReplacedFile>(path, file, std::move(watch));
  error = target->Open(exists ? &existing : nullptr);
  if (error != 0) return nullptr;
  return target;
}

}  // namespace kestrava
