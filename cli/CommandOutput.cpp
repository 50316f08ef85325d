#include "cli/CommandOutput.h"

#include <utility>

#include "cli/Messages.h"
#include "cli/OpenOutput.h"

namespace kestrava::cli {

std::unique_ptr<OutputTarget> OpenTarget(CliEnvironment& env,
                                         const std::optional<std::string>& output) {
  int error = 0;
  std::unique_ptr<OutputTarget> target = OpenOutput(output, env.out, env.outIsTerminal, error);
  if (target == nullptr) CannotWrite(env, output.value_or("standard output"), error);
  return target;
}

std::unique_ptr<RecordWriter> NewWriter(CliEnvironment& env, OutputFormat format,
                                        OutputTarget& target, std::string_view sheet) {
  std::unique_ptr<Spool> spool;
  if (NeedsSpool(format)) {
    int error = 0;
    spool = target.NewSpool(error);
    if (spool == nullptr) {
      CannotWrite(env, target.Name(), error);
      return nullptr;
    }
  }
  return MakeRecordWriter(format, target.Sink(), std::move(spool), sheet);
}

int FinishRecords(CliEnvironment& env, RecordWriter& writer, OutputTarget& target) {
  int error = 0;
  if (!writer.Finish()) return CannotWrite(env, target.Name(), writer.ErrorText());
  if (!target.Commit(error)) return CannotWrite(env, target.Name(), error);
  return ExitSuccess;
}

int WriteWhole(CliEnvironment& env, OutputTarget& target, std::string text) {
  text += '\n';
  int error = 0;
  if (!target.Sink().Write(text)) return CannotWrite(env, target.Name(), target.Sink().Error());
  if (!target.Commit(error)) return CannotWrite(env, target.Name(), error);
  return ExitSuccess;
}

}  // namespace kestrava::cli
