#pragma once

// Where a command's result goes and how it is written, each step reporting
// its own failure ("cannot write ...") so that a command only passes on the
// exit code.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "cli/Cli.h"
#include "cli/CliArguments.h"
#include "output/OutputTarget.h"
#include "output/RecordWriter.h"

namespace kestrava::cli {

// Standard output, or `output` when given; none after the failure has been
// reported.
std::unique_ptr<OutputTarget> OpenTarget(CliEnvironment& env,
                                         const std::optional<std::string>& output);

// The writer of records in `format` to `target`, on a sheet of that name
// for xlsx; none after the failure has been reported.
std::unique_ptr<RecordWriter> NewWriter(CliEnvironment& env, OutputFormat format,
                                        OutputTarget& target, std::string_view sheet = "records");

// Ends the records and makes the target final; the exit code.
int FinishRecords(CliEnvironment& env, RecordWriter& writer, OutputTarget& target);

// A text result (help, version, a token, a formatted value) and its line
// end, made final; the exit code.
int WriteWhole(CliEnvironment& env, OutputTarget& target, std::string text);

}  // namespace kestrava::cli
