#pragma once

// Where the result of a command goes, and when it becomes final. Nothing of
// a failed command reaches it: standard output gets the result in one piece
// at the end; --output FILE gets it page by page in a temporary file beside
// FILE that replaces FILE only when the command succeeds (and goes when a
// signal ends the program).

#include <memory>
#include <optional>
#include <string>

#include "output/ByteSink.h"
#include "output/OutputTarget.h"

namespace kestrava::cli {

// Standard output when `path` is none or "-", else the file. None, with the
// errno in `error`, when the file cannot be written (its folder refuses a
// new file, it is a folder, ...).
std::unique_ptr<OutputTarget> OpenOutput(const std::optional<std::string>& path,
                                         ByteSink& standardOutput, bool standardOutputIsTerminal,
                                         int& error);

// The same, for a result that nothing but its writing can fail once its
// first byte is made (format, once its input has parsed): standard output
// that is no terminal gets the bytes as they are made, so that a long text
// is never held whole.
std::unique_ptr<OutputTarget> OpenStreamedOutput(const std::optional<std::string>& path,
                                                 ByteSink& standardOutput,
                                                 bool standardOutputIsTerminal, int& error);

}  // namespace kestrava::cli
