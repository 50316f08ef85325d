#pragma once

// Descriptors 0, 1 and 2 belong to standard input, output and error. A
// program started with one of them closed would hand that number to the
// next file it opens, and whatever it then writes to standard error (a
// retry line, a warning of a library) would land in that file: an export,
// a store. Each program calls this first in main, before it opens anything.

namespace kestrava {

// Opens /dev/null on each of the three that is closed: standard input
// write-only, standard output and error read-only, so that a program that
// reads or writes one of them still fails as on a closed descriptor (EBADF)
// and never mistakes /dev/null for a reader or a writer. False when
// /dev/null cannot be opened: the program must then end at once.
bool OpenStandardDescriptors() noexcept;

}  // namespace kestrava
