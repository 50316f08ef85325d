#include "cli/RecordWriter.h"

#include "cli/CsvWriter.h"
#include "json/JsonFormat.h"

namespace kestrava::cli {
namespace {

constexpr std::size_t PieceSize = 1 << 16;

// The window's text: the display text of the array, then LF.
class DisplayWriter final : public RecordWriter {
 public:
  using RecordWriter::Add;
  using RecordWriter::RecordWriter;
  bool Add(const TJSONValue& record) override {
    text_ += count_++ == 0 ? "[\r\n    " : ",\r\n    ";
    AppendDisplayText(text_, record, 1);
    return Flush();
  }
  bool Finish() override {
    text_ += count_ == 0 ? "[\r\n]\n" : "\r\n]\n";
    return Flush(true);
  }

 private:
  std::size_t count_ = 0;
};

// The compact text of the array, then LF.
class CompactWriter final : public RecordWriter {
 public:
  using RecordWriter::Add;
  using RecordWriter::RecordWriter;
  bool Add(const TJSONValue& record) override {
    text_ += count_++ == 0 ? '[' : ',';
    AppendCompactText(text_, record);
    return Flush();
  }
  bool Finish() override {
    text_ += count_ == 0 ? "[]\n" : "]\n";
    return Flush(true);
  }

 private:
  std::size_t count_ = 0;
};

// One compact text per line.
class NdjsonWriter final : public RecordWriter {
 public:
  using RecordWriter::Add;
  using RecordWriter::RecordWriter;
  bool Add(const TJSONValue& record) override {
    AppendCompactText(text_, record);
    text_ += '\n';
    return Flush();
  }
  bool Finish() override { return Flush(true); }
};

}  // namespace

bool RecordWriter::Add(const TJSONArray& records) {
  const std::size_t count = records.Count();
  for (std::size_t i = 0; i < count; ++i) {
    if (!Add(*records.Get(i))) return false;
  }
  return true;
}

bool RecordWriter::Flush(bool always) {
  if (text_.size() < PieceSize && !always) return true;
  const bool written = sink_.Write(text_);
  text_.clear();
  return written;
}

std::unique_ptr<RecordWriter> MakeRecordWriter(OutputFormat format, ByteSink& out,
                                               std::unique_ptr<Spool> spool) {
  switch (format) {
    case OutputFormat::Compact:
      return std::make_unique<CompactWriter>(out);
    case OutputFormat::Ndjson:
      return std::make_unique<NdjsonWriter>(out);
    case OutputFormat::Csv:
      return std::make_unique<CsvWriter>(out, std::move(spool));
    case OutputFormat::Display:
      break;
  }
  return std::make_unique<DisplayWriter>(out);
}

}  // namespace kestrava::cli
