#include "output/OutputTarget.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

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

// The link to an open file that /proc gives, through which a file without
// a name gets one.
std::string ProcLink(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

bool Nameable(int fd) {
  struct stat direct {
  }, linked{};
  return fstat(fd, &direct) == 0 && stat(ProcLink(fd).c_str(), &linked) == 0 &&
         direct.st_dev == linked.st_dev && direct.st_ino == linked.st_ino;
}

// Six letters or digits that no other run is likely to pick.
std::string RandomSuffix() {
  constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // No randomness at hand: the process id and the time tell runs apart.
    unsigned long long seed = static_cast<unsigned long long>(getpid()) * 1000003ULL ^
                              static_cast<unsigned long long>(time(nullptr));
    for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(seed >>= 5);
  }
  std::string suffix;
  for (const unsigned char byte : bytes) suffix += kLetters[byte % (sizeof kLetters - 1)];
  return suffix;
}

// A regular file, replaced as a whole: the result goes to a temporary file
// in the same folder (so the rename cannot cross file systems) that has no
// name while the result is written, so that however the process ends
// (SIGKILL, the OOM killer, a power cut) nothing of it is left behind. On
// success it is flushed to disk, given a short name of its own and renamed
// over the file. Where the file system has no nameless files, it is a named
// one from the start, removed on any way out but success.
class ReplacedFile final : public OutputTarget {
 public:
  ReplacedFile(std::string name, std::string path, std::unique_ptr<TemporaryFileWatch> watch)
      : OutputTarget(std::move(name)), path_(std::move(path)), watch_(std::move(watch)) {}
  ~ReplacedFile() override {
    if (fd_ >= 0) close(fd_);
    if (told_) {
      const HeldBy held(*watch_);
      if (!temporary_.empty()) unlink(temporary_.c_str());
      watch_->Gone();
    }
  }

  // Makes the temporary file: mode 0600 for a new file, the mode (and, where
  // allowed, the owner) of the file it replaces otherwise.
  int Open(const struct stat* replaced) {
    const std::string folder = FolderOf(path_);
    {
      const HeldBy held(*watch_);
      fd_ = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
      // It is named at the end through /proc; where that does not lead to
      // it, a named file.
      if (fd_ >= 0 && !Nameable(fd_)) {
        close(fd_);
        fd_ = -1;
        errno = EOPNOTSUPP;
      }
      if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string name = folder + kTemporaryPrefix + "XXXXXX";
        fd_ = mkostemp(name.data(), O_CLOEXEC);
        if (fd_ >= 0) temporary_ = name;
      }
      if (fd_ < 0) return errno;
      watch_->Made(temporary_);
      told_ = true;
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
    if (temporary_.empty() && (error = GiveName()) != 0) return false;
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
      told_ = false;
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
  // Links the nameless file into its folder under a short name of its own;
  // 0, or the errno.
  int GiveName() {
    const std::string self = ProcLink(fd_);
    for (int tries = 0; tries < 100; ++tries) {
      const std::string name = FolderOf(path_) + kTemporaryPrefix + RandomSuffix();
      const HeldBy held(*watch_);
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temporary_ = name;
        watch_->Made(temporary_);
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  std::string path_;  // the file replaced: symbolic links followed
  std::unique_ptr<TemporaryFileWatch> watch_;
  std::string temporary_;  // its name; empty while it has none
  bool told_ = false;      // the watch heard of it and not yet of its end
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
