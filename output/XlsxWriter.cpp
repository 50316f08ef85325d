#include "output/XlsxWriter.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "json/JsonFormat.h"
#include "output/XlsxCells.h"
#include "output/XlsxSheet.h"

namespace kestrava {
namespace {

// The cells go to the stream and the spool in pieces of about this size;
// the stream holds a few of them at most.
constexpr std::size_t kPieceSize = 1 << 16;
constexpr std::size_t kMaxPiecesWaiting = 16;

std::size_t Characters(std::string_view text) {
  // UTF-8: every byte but the continuation bytes starts a character.
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A column fits its widest cell and the header's filter button, up to a
// limit beyond which a long text wraps out of sight.
constexpr std::size_t kMaxColumnWidth = 60;
constexpr std::size_t kFilterButtonWidth = 3;

}  // namespace

// The sheet written on a thread of its own from the pieces it is given, in
// order, until it is ended or dropped.
class XlsxWriter::Stream {
 public:
  Stream(std::string sheet, std::vector<std::string> header)
      : name_(std::move(sheet)), header_(std::move(header)), thread_([this] { Run(); }) {}
  ~Stream() {
    {
      const std::lock_guard lock(mutex_);
      dropped_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Waits while the thread is behind by more than a few pieces.
  void Give(std::string_view piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMaxPiecesWaiting; });
    waiting_.emplace_back(piece);
    changed_.notify_all();
  }
  // Waits for the rows of every piece given; the sheet, or none when
  // writing it failed.
  XlsxSheet* End() {
    {
      const std::lock_guard lock(mutex_);
      ended_ = true;
    }
    changed_.notify_all();
    thread_.join();
    return written_ ? &sheet_ : nullptr;
  }

 private:
  void Run() {
    bool written = sheet_.Open(name_, header_);
    for (;;) {
      std::string piece;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return dropped_ || ended_ || !waiting_.empty(); });
        if (dropped_ || waiting_.empty()) break;
        piece = std::move(waiting_.front());
        waiting_.pop_front();
      }
      changed_.notify_all();
      // After a failure the pieces are still taken, so that Give never waits
      // for a thread that writes nothing.
      if (written) written = sheet_.Write(piece);
    }
    written_ = written;
  }

  XlsxSheet sheet_;
  std::string name_;
  std::vector<std::string> header_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  bool ended_ = false, dropped_ = false;
  bool written_ = false;  // read after the thread ended
  std::thread thread_;    // last: it starts at once
};

XlsxWriter::XlsxWriter(ByteSink& out, std::unique_ptr<Spool> cells, std::string sheet)
    : RecordWriter(*cells), out_(out), cells_(std::move(cells)), sheet_(std::move(sheet)) {}

XlsxWriter::~XlsxWriter() = default;

std::size_t XlsxWriter::Column(std::string_view name) {
  const auto found = index_.find(name);
  if (found != index_.end()) return found->second;
  // A column that the header already written lacks.
  if (records_ > 1) StopStream();
  index_.emplace(std::string(name), columns_.size());
  columns_.emplace_back(name);
  widths_.push_back(0);
  lastRecord_.push_back(0);
  return columns_.size() - 1;
}

void XlsxWriter::StopStream() {
  stream_.reset();
}

bool XlsxWriter::Refuse(std::string reason) {
  if (refusal_.empty()) refusal_ = std::move(reason);
  return false;
}

bool XlsxWriter::AddCell(std::size_t column, const TJSONValue& value) {
  // Of a name twice in one object the first counts, as in csv.
  if (lastRecord_[column] == records_) return true;
  lastRecord_[column] = records_;
  XlsxCellKind kind = kXlsxText;
  std::string_view bytes;
  std::string text;
  std::size_t width = 0;
  switch (value.Kind()) {
    case TJSONKind::Null:
      return true;
    case TJSONKind::True:
    case TJSONKind::False:
      kind = value.Kind() == TJSONKind::True ? kXlsxTrue : kXlsxFalse;
      width = kind == kXlsxTrue ? 4 : 5;
      break;
    case TJSONKind::Number: {
      bytes = static_cast<const TJSONNumber&>(value).Value();
      if (const std::optional<XlsxNumber> number = ReadXlsxNumber(bytes)) {
        kind = kXlsxNumber;
        width = number->width;
      } else {
        width = Characters(bytes);
      }
      break;
    }
    case TJSONKind::String: {
      bytes = static_cast<const TJSONString&>(value).Value();
      if (const std::optional<XlsxDate> date = ReadXlsxDate(bytes)) {
        kind = date->hasTime ? kXlsxDateTime : kXlsxDate;
        width = date->format.size();
      } else {
        width = Characters(bytes);
      }
      break;
    }
    case TJSONKind::Object:
    case TJSONKind::Array:
      AppendCompactText(text, value);
      bytes = text;
      width = Characters(bytes);
      break;
  }
  std::string escaped;
  if (kind == kXlsxText) {
    escaped = EscapeXlsxText(bytes);
    if (const std::size_t characters = Characters(escaped); characters > kMaxCellCharacters) {
      return Refuse("a text of " + std::to_string(characters) + " characters in column \"" +
                    columns_[column] + "\": a spreadsheet cell holds at most " +
                    std::to_string(kMaxCellCharacters));
    }
    bytes = escaped;
  }
  widths_[column] = std::max(widths_[column], width);
  AppendXlsxCell(text_, kind, column, bytes);
  return true;
}

bool XlsxWriter::Add(const TJSONValue& record) {
  if (!refusal_.empty()) return false;
  if (records_ == kMaxRecords)
    return Refuse("more than " + std::to_string(kMaxRecords) + " records: a sheet holds at most " +
                  std::to_string(kMaxRecords) + " rows under its header");
  ++records_;
  if (record.Kind() == TJSONKind::Object) {
    const auto& object = static_cast<const TJSONObject&>(record);
    const std::size_t count = object.Count();
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t column = Column(object.PairName(i));
      if (columns_.size() > kMaxColumns)
        return Refuse("more than " + std::to_string(kMaxColumns) +
                      " columns: a sheet holds at most " + std::to_string(kMaxColumns));
      if (!AddCell(column, *object.PairValue(i))) return false;
    }
  } else if (!AddCell(Column("value"), record)) {
    return false;
  }
  text_ += static_cast<char>(kXlsxEndOfRecord);
  if (records_ == 1 && !columns_.empty()) {
    // The first record's columns are the header, as long as no later record
    // brings another.
    try {
      stream_ = std::make_unique<Stream>(sheet_, columns_);
    } catch (const std::system_error&) {
      stream_.reset();  // no thread: the sheet is written at the end
    }
  }
  return Hand(false);
}

bool XlsxWriter::Hand(bool always) {
  if (text_.size() < kPieceSize && !always) return true;
  if (stream_ && !text_.empty()) stream_->Give(text_);
  return Flush(true);
}

std::vector<double> XlsxWriter::Widths() const {
  std::vector<double> widths;
  for (std::size_t column = 0; column < columns_.size(); ++column) {
    const std::size_t header = Characters(columns_[column]);
    widths.push_back(static_cast<double>(
        std::min(kMaxColumnWidth, std::max(header + kFilterButtonWidth, widths_[column] + 1))));
  }
  return widths;
}

bool XlsxWriter::Finish() {
  if (!refusal_.empty() || !Hand(true)) return false;
  XlsxSheet* sheet = stream_ ? stream_->End() : nullptr;
  std::optional<XlsxSheet> fromSpool;
  if (sheet == nullptr) {
    sheet = &fromSpool.emplace();
    if (sheet->Open(sheet_, columns_) &&
        !cells_->ReadBack([sheet](std::string_view piece) { return sheet->Write(piece); }) &&
        cells_->Error() != 0) {
      return false;
    }
  }
  if (sheet->Close(Widths(), records_) && sheet->CopyTo(out_)) return true;
  error_ = sheet->Error();
  workbookError_ = sheet->ErrorText();
  return false;
}

int XlsxWriter::Error() const noexcept {
  if (out_.Error() != 0) return out_.Error();
  if (cells_->Error() != 0) return cells_->Error();
  if (error_ != 0) return error_;
  return refusal_.empty() && workbookError_.empty() ? 0 : EINVAL;
}

std::string XlsxWriter::ErrorText() const {
  if (!refusal_.empty()) return refusal_;
  if (out_.Error() != 0 || cells_->Error() != 0) return RecordWriter::ErrorText();
  if (!workbookError_.empty() && error_ != 0)
    return workbookError_ + ": " + ErrorDescription(error_);
  if (!workbookError_.empty()) return workbookError_;
  return RecordWriter::ErrorText();
}

}  // namespace kestrava
