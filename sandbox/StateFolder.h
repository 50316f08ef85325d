#pragma once

// The sandbox's state folder, where its CA and server certificate stay from
// one start to the next. Whoever could plant or swap the CA key there could
// impersonate the service to every client that trusts the sandbox, so the
// folder is opened once, checked, and every file in it is reached through
// that one handle: a file is used only when it is a regular file of this
// user, never through a link.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace kestrava::sandbox {

// A file descriptor, closed with its owner.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const noexcept { return fd_; }
  // Takes the descriptor given, closing the one held.
  void Reset(int fd) noexcept;
  // Closes now; false when the system reports a failure (for a file
  // written, that what was written may not have reached it).
  bool Close() noexcept;

 private:
  int fd_;
};

class StateFolder {
 public:
  // Makes the folder (mode 0700, its parents as usual) when it is missing,
  // or opens the one there. Throws https::HttpsError when it is not a
  // folder (a link to one included), belongs to another user, or can be
  // written by other users: it is refused as it stands, untouched. Read
  // and search rights that others have are taken away.
  explicit StateFolder(std::filesystem::path path);
  ~StateFolder();
  StateFolder(const StateFolder&) = delete;
  StateFolder& operator=(const StateFolder&) = delete;

  const std::filesystem::path& Path() const noexcept { return path_; }

  // The whole text of a file in the folder; none when there is no such
  // file. Throws https::HttpsError when it is a link, not a regular file,
  // belongs to another user, or cannot be read.
  std::optional<std::string> Read(const std::string& name) const;

  // Replaces a file: written beside it with the mode given, then renamed
  // over it, so a reader sees the old or the new text, never half of one.
  void Write(const std::string& name, const std::string& text, mode_t mode) const;

  // Holds an exclusive lock on the folder's ".lock" file for its life, so
  // that sandboxes starting together on one folder agree on one CA.
  class Lock {
   public:
    explicit Lock(const StateFolder& folder);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

   private:
    FileDescriptor file_;
  };

 private:
  std::filesystem::path path_;
  FileDescriptor folder_;
};

}  // namespace kestrava::sandbox
