#include "cli/FormatCommand.h"

#include <memory>
#include <optional>
#include <string>

#include "cli/CommandOutput.h"
#include "cli/Commands.h"
#include "cli/InputBytes.h"
#include "cli/Messages.h"
#include "cli/OpenOutput.h"
#include "json/JSON.h"
#include "json/JsonFormat.h"

namespace kestrava::cli {

int RunFormat(const CliArguments& args, CliEnvironment& env, SecretMask& /*mask*/) {
  const std::optional<std::string> file =
      args.arguments.empty() ? std::nullopt : std::optional(args.arguments[0]);
  std::unique_ptr<TJSONValue> value;
  {
    // The text goes as soon as its tree is made: the tree holds its own copies.
    std::string text;
    const bool fromInput = !file || *file == "-";
    const int error = fromInput ? ReadAll(env.in, text) : ReadFile(*file, text);
    if (error != 0) return CannotRead(env, fromInput ? "standard input" : *file, error);
    value = ParseJSONValue(text);
  }
  if (value == nullptr) {
    WriteLine(env, "kestrava-cli: not a valid JSON text");
    return ExitFailure;
  }
  // From here on only the writing can fail, so the text goes out as it is
  // made and is never held whole.
  int error = 0;
  const std::unique_ptr<OutputTarget> target =
      OpenStreamedOutput(args.output, env.out, env.outIsTerminal, error);
  if (target == nullptr) return CannotWrite(env, args.output.value_or("standard output"), error);
  if (args.format == OutputFormat::Display || args.format == OutputFormat::Compact) {
    ByteSink& sink = target->Sink();
    const TextPieces write = [&sink](std::string_view piece) { return sink.Write(piece); };
    const bool written = (args.format == OutputFormat::Display ? WriteDisplayText(*value, write)
                                                               : WriteCompactText(*value, write)) &&
                         sink.Write("\n");
    if (!written) return CannotWrite(env, target->Name(), sink.Error());
    if (!target->Commit(error)) return CannotWrite(env, target->Name(), error);
    return ExitSuccess;
  }
  // A value that is not an array is an array of that one value.
  const std::unique_ptr<RecordWriter> writer =
      NewWriter(env, args.format, *target, FindCommand(args.command)->sheet);
  if (writer == nullptr) return ExitFailure;
  const bool added = value->Kind() == TJSONKind::Array
                         ? writer->Add(static_cast<const TJSONArray&>(*value))
                         : writer->Add(*value);
  if (!added && writer->Refused()) return RefusedRecords(env);
  if (!added) return CannotWrite(env, target->Name(), writer->ErrorText());
  return FinishRecords(env, *writer, *target);
}

}  // namespace kestrava::cli
