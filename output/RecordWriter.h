#pragma once

// The records of a result in one output format, written as they arrive, so
// that a long export needs no more memory than one page.

#include <memory>
#include <string>
#include <string_view>

#include "json/JSON.h"
#include "output/ByteSink.h"
#include "output/OutputFormat.h"

namespace kestrava {

class RecordWriter {
 public:
  explicit RecordWriter(ByteSink& sink) : sink_(sink) {}
  virtual ~RecordWriter() = default;
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Each element of `records`, in order. False once the sink failed.
  bool Add(const TJSONArray& records);
  virtual bool Add(const TJSONValue& record) = 0;
  // After the last record: what ends the result. False when the sink failed.
  virtual bool Finish() = 0;
  // The errno of the write that failed; 0 while none failed.
  virtual int Error() const noexcept { return sink_.Error(); }
  // Why the writing failed, for a message: the errno's description, or
  // what the format cannot hold.
  virtual std::string ErrorText() const { return ErrorDescription(Error()); }
  // The records cannot be written in this format at all (csv: too many
  // columns); Add gave false, and nothing was written.
  virtual bool Refused() const noexcept { return false; }

 protected:
  // Hands the text gathered so far to the sink when it has grown to a
  // piece worth a write, or always.
  bool Flush(bool always = false);
  std::string text_;

 private:
  ByteSink& sink_;
};

// display, compact and ndjson write to `out` only; csv and xlsx gather their
// rows in `spool` (the header is known only after the last record) and
// write them to `out` when they finish. `sheet` names the sheet of xlsx.
std::unique_ptr<RecordWriter> MakeRecordWriter(OutputFormat format, ByteSink& out,
                                               std::unique_ptr<Spool> spool,
                                               std::string_view sheet = "records");

}  // namespace kestrava
