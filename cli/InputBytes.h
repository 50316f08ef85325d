#pragma once

// The bytes kestrava-cli reads: the JSON text of format and the secret file,
// through file descriptors, so that a failure can say why (the errno of the
// failed call).

#include <string>

namespace kestrava::cli {

// Everything the descriptor gives until its end. A regular file is read
// straight into one buffer of its size, so that a long text is held once.
// Returns 0, or the errno of the failed read.
int ReadAll(int fd, std::string& text);

// Reads the file at `path` whole. Returns 0, or the errno of the failure.
int ReadFile(const std::string& path, std::string& text);

// The first line the descriptor gives, without its line end (LF or CR
// LF); the whole text when it has no LF. Returns 0, or the errno of the
// failure (EFBIG for a line of more than 64 KiB).
int ReadFirstLine(int fd, std::string& line);
int ReadFirstLineOfFile(const std::string& path, std::string& line);

}  // namespace kestrava::cli
