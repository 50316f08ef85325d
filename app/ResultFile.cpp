#include "app/ResultFile.h"

#include <algorithm>
#include <memory>

#include "app/ArrayElements.h"
#include "json/JSON.h"
#include "output/OutputTarget.h"
#include "output/RecordWriter.h"

namespace kestrava {

namespace {

// The shown text goes out in pieces of this size, asking between two
// whether to go on.
constexpr std::size_t kPieceSize = std::size_t{4} << 20;

TSaveOutcome Failed(std::string why) {
  return {TSaveOutcome::TKind::Failed, std::move(why)};
}

TSaveOutcome Cancelled() {
  return {TSaveOutcome::TKind::Cancelled, {}};
}

OutputFormat FormatOf(TSaveType type) {
  switch (type) {
    case TSaveType::Csv:
      return OutputFormat::Csv;
    case TSaveType::CsvExcel:
      return OutputFormat::CsvExcel;
    case TSaveType::Ndjson:
      return OutputFormat::Ndjson;
    case TSaveType::Xlsx:
      return OutputFormat::Xlsx;
    case TSaveType::Json:
      break;
  }
  return OutputFormat::Display;
}

TSaveOutcome WriteText(std::string_view shown, OutputTarget& target, const TSaveProgress& goOn) {
  for (std::size_t done = 0; done < shown.size();) {
    const std::size_t piece = std::min(kPieceSize, shown.size() - done);
    if (!target.Sink().Write(shown.substr(done, piece)))
      return Failed(ErrorDescription(target.Sink().Error()));
    done += piece;
    if (!goOn(done, shown.size())) return Cancelled();
  }
  return {};
}

// The records of the shown text, read again one at a time, through the
// record writer of the format.
TSaveOutcome WriteRecords(std::string_view shown, OutputFormat format, std::string_view sheet,
                          OutputTarget& target, const TSaveProgress& goOn) {
  std::unique_ptr<Spool> spool;
  if (NeedsSpool(format)) {
    int error = 0;
    spool = target.NewSpool(error);
    if (spool == nullptr) return Failed(ErrorDescription(error));
  }
  const std::unique_ptr<RecordWriter> writer =
      MakeRecordWriter(format, target.Sink(), std::move(spool), sheet);
  TSaveOutcome outcome;
  const TElementWalk walk = ForEachElement(shown, [&](std::string_view text, std::size_t end) {
    const std::unique_ptr<TJSONValue> record = ParseJSONValue(text);
    if (record == nullptr) {
      outcome = Failed("the text shown is not a list of JSON records");
    } else if (!writer->Add(*record)) {
      outcome = Failed(writer->ErrorText());
    } else if (!goOn(end, shown.size())) {
      outcome = Cancelled();
    }
    return outcome.kind == TSaveOutcome::TKind::Saved;
  });
  if (walk == TElementWalk::NotAnArray)
    return Failed("the text shown is not a list of JSON records");
  if (outcome.kind != TSaveOutcome::TKind::Saved) return outcome;
  if (!writer->Finish()) return Failed(writer->ErrorText());
  return {};
}

}  // namespace

TSaveOutcome SaveResult(std::string_view shown, TSaveType type, std::string_view sheet,
                        const std::string& path, const TSaveProgress& goOn) {
  int error = 0;
  const std::unique_ptr<OutputTarget> target = OpenReplacedFile(path, error);
  if (target == nullptr) return Failed(ErrorDescription(error));
  const TSaveOutcome written = type == TSaveType::Json
                                   ? WriteText(shown, *target, goOn)
                                   : WriteRecords(shown, FormatOf(type), sheet, *target, goOn);
  // Anything but a commit leaves the file as it was: the target removes its
  // temporary file.
  if (written.kind != TSaveOutcome::TKind::Saved) return written;
  if (!target->Commit(error)) return Failed(ErrorDescription(error));
  return {};
}

}  // namespace kestrava
