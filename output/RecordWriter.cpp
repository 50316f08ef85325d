#include "output/RecordWriter.h"

#include "json/JsonFormat.h"
#include "output/CsvWriter.h"
#include "output/XlsxWriter.h"

namespace kestrava {
namespace {

constexpr std::size_t kPieceSize = 1 << 16;

// The array, then LF: its display text (the window's) or its compact text.
class ArrayWriter final : public RecordWriter {
 public:
  ArrayWriter(ByteSink& sink, bool display) : RecordWriter(sink), display_(display) {}
  using RecordWriter::Add;
  bool Add(const TJSONValue& record) override {
    const bool first = count_++ == 0;
    if (display_) {
      text_ += first ? "[\r\n    " : ",\r\n    ";
      AppendDisplayText(text_, record, 1);
    } else {
      text_ += first ? '[' : ',';
      AppendCompactText(text_, record);
    }
    return Flush();
  }
  bool Finish() override {
    if (count_ == 0) {
      text_ += display_ ? "[\r\n]\n" : "[]\n";
    } else {
      text_ += display_ ? "\r\n]\n" : "]\n";
    }
    return Flush(true);
  }

 private:
  bool display_;
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
  if (text_.size() < kPieceSize && !always) return true;
  const bool written = sink_.Write(text_);
  text_.clear();
  return written;
}

std::unique_ptr<RecordWriter> MakeRecordWriter(OutputFormat format, ByteSink& out,
                                               std::unique_ptr<Spool> spool,
                                               std::string_view sheet) {
  switch (format) {
    case OutputFormat::Compact:
      return std::make_unique<ArrayWriter>(out, false);
    case OutputFormat::Ndjson:
      return std::make_unique<NdjsonWriter>(out);
    case OutputFormat::Csv:
      return std::make_unique<CsvWriter>(out, std::move(spool));
    case OutputFormat::CsvExcel:
      return std::make_unique<CsvWriter>(out, std::move(spool), kExcelCsv);
    case OutputFormat::Xlsx:
      return std::make_unique<XlsxWriter>(out, std::move(spool), std::string(sheet));
    case OutputFormat::Display:
      break;
  }
  return std::make_unique<ArrayWriter>(out, true);
}

}  // namespace kestrava
