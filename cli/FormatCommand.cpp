#include "cli/FormatCommand.h"

#include <memory>
#include <optional>
#include <string>

#include "cli/ByteStreams.h"
#include "cli/CommandOutput.h"
#include "cli/Messages.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava::cli {

int RunFormat(const CliArguments& args, CliEnvironment& env, SecretMask& /*mask*/) {
  const std::optional<std::string> file =
      args.arguments.empty() ? std::nullopt : std::optional(args.arguments[0]);
  std::string text;
  const bool fromInput = !file || *file == "-";
  const int error = fromInput ? ReadAll(env.in, text) : ReadFile(*file, text);
  if (error != 0) return CannotRead(env, fromInput ? "standard input" : *file, error);
  const std::unique_ptr<TJSONValue> value = ParseJSONValue(text);
  if (value == nullptr) {
    WriteLine(env, "Not a valid JSON text");
    return ExitFailure;
  }
  const std::unique_ptr<OutputTarget> target = OpenTarget(env, args.output);
  if (target == nullptr) return ExitFailure;
  if (args.format == OutputFormat::Display) return WriteWhole(env, *target, TJson::Format(*value));
  if (args.format == OutputFormat::Compact) return WriteWhole(env, *target, value->ToString());
  // A value that is not an array is an array of that one value.
  const std::unique_ptr<RecordWriter> writer = NewWriter(env, args.format, *target);
  if (writer == nullptr) return ExitFailure;
  const bool added = value->Kind() == TJSONKind::Array
                         ? writer->Add(static_cast<const TJSONArray&>(*value))
                         : writer->Add(*value);
  if (!added) return CannotWrite(env, target->Name(), writer->Error());
  return FinishRecords(env, *writer, *target);
}

}  // namespace kestrava::cli
