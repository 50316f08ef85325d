#include "app/MemoLayout.h"

#include <QTextBoundaryFinder>
#include <QTextOption>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <vector>

namespace kestrava {

namespace {

// Layouts kept between trims: a few screens of short lines, or fewer long
// ones.
constexpr std::size_t kKeptLines = 1024;
constexpr qsizetype kKeptUnits = 4 << 20;

// UTF-8 bytes of the UTF-16 unit at `i` (the high half of a pair counts
// the whole pair).
std::size_t Utf8Bytes(const QString& text, qsizetype i) {
  const char16_t c = text.at(i).unicode();
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (QChar::isHighSurrogate(c)) return 4;
  if (QChar::isLowSurrogate(c)) return 0;
  return 3;
}

// The line as shown. A paragraph separator or a frame mark (U+FDD0,
// U+FDD1) breaks a plain-text widget's text into blocks: shown here as
// the line separator, which the layout breaks at, they keep their UTF-16
// length.
QString ShownLine(std::string_view bytes) {
  QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  for (QChar& c : text) {
    const char16_t u = c.unicode();
    if (u == QChar::ParagraphSeparator || u == 0xFDD0 || u == 0xFDD1) c = QChar::LineSeparator;
  }
  return text;
}

// How far before its nominal place a piece may begin so that it begins
// just after a space, and how much text around that place decides whether
// a cluster of combining marks goes on there.
constexpr std::size_t kSpaceSearchBytes = 256;
constexpr std::size_t kClusterWindowBytes = 64;

bool IsContinuation(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

TLaidOutLine::TLaidOutLine(std::string_view bytes, std::size_t start, bool endsLine,
                           const QFont& font, qreal lineWidth)
    : layout_(ShownLine(bytes), font),
      start_(start),
      bytes_(bytes.size()),
      endsLine_(endsLine),
      ascii_(static_cast<std::size_t>(layout_.text().size()) == bytes.size()) {
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout_.setTextOption(option);
  layout_.beginLayout();
  while (true) {
    QTextLine line = layout_.createLine();
    if (!line.isValid()) break;
    line.setLeadingIncluded(true);
    line.setLineWidth(lineWidth);
    line.setPosition(QPointF(kMemoMargin, height_));
    height_ += line.height();
    if (line.leading() < 0) height_ += qCeil(line.leading());
  }
  layout_.endLayout();
}

int TLaidOutLine::Utf16Of(std::size_t offsetInLine) const {
  if (ascii_) return static_cast<int>(std::min(offsetInLine, bytes_));
  const QString& text = layout_.text();
  std::size_t bytes = 0;
  qsizetype i = 0;
  while (i < text.size() && bytes < offsetInLine) bytes += Utf8Bytes(text, i++);
  if (i < text.size() && text.at(i).isLowSurrogate()) ++i;
  return static_cast<int>(i);
}

std::size_t TLaidOutLine::OffsetOf(int utf16) const {
  if (ascii_) return static_cast<std::size_t>(std::clamp(utf16, 0, Utf16Length()));
  const QString& text = layout_.text();
  std::size_t bytes = 0;
  for (qsizetype i = 0; i < utf16 && i < text.size(); ++i) bytes += Utf8Bytes(text, i);
  return bytes;
}

int TLaidOutLine::SubLineOf(std::size_t offsetInLine) const {
  const QTextLine line = layout_.lineForTextPosition(Utf16Of(offsetInLine));
  return line.isValid() ? line.lineNumber() : std::max(0, SubLineCount() - 1);
}

void TMemoLayouts::Configure(const QFont& font, int viewportWidth) {
  if (viewportWidth == viewportWidth_ && font == font_) return;
  font_ = font;
  viewportWidth_ = viewportWidth;
  Clear();
}

void TMemoLayouts::Clear() {
  pieces_.clear();
  units_ = 0;
  spanLine_ = std::numeric_limits<std::size_t>::max();
}

void TMemoLayouts::ClearFrom(std::size_t line) {
  std::erase_if(pieces_, [this, line](const auto& entry) {
    if (entry.first.line < line) return false;
    units_ -= entry.second.laidOut->Utf16Length();
    return true;
  });
  if (spanLine_ != std::numeric_limits<std::size_t>::max() && spanLine_ >= line)
    spanLine_ = std::numeric_limits<std::size_t>::max();
}

TMemoLayouts::TSpan TMemoLayouts::LineSpan(std::size_t line) {
  if (line != spanLine_) {
    span_.start = text_.LineStart(line);
    span_.end = text_.LineEnd(line);
    spanLine_ = line;
  }
  return span_;
}

std::size_t TMemoLayouts::PieceCount(std::size_t line) {
  const TSpan span = LineSpan(line);
  const std::size_t length = span.end - span.start;
  return length <= kLongLineBytes ? 1 : length / kPieceBytes;
}

// Piece k begins about k * kPieceBytes into the line: just after the
// nearest space before that, or else at the start of the character there,
// moved back to the start of its cluster when combining marks follow.
std::size_t TMemoLayouts::PieceStart(TSpan line, std::size_t piece) const {
  const std::string& text = text_.Bytes();
  const std::size_t nominal = line.start + piece * kPieceBytes;
  for (std::size_t p = nominal; p > nominal - kSpaceSearchBytes; --p) {
    if (text[p - 1] == ' ') return p;
  }
  std::size_t at = nominal;
  while (IsContinuation(text[at])) --at;
  std::size_t from = at - kClusterWindowBytes;
  while (IsContinuation(text[from])) ++from;
  std::size_t to = std::min(line.end, at + kClusterWindowBytes);
  while (to < line.end && IsContinuation(text[to])) ++to;
  const QString window = QString::fromUtf8(text.data() + from, static_cast<qsizetype>(to - from));
  const qsizetype atUnit =
      QString::fromUtf8(text.data() + from, static_cast<qsizetype>(at - from)).size();
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window);
  finder.setPosition(atUnit);
  if (finder.isAtBoundary()) return at;
  const qsizetype before = finder.toPreviousBoundary();
  // A cluster longer than the window is cut where the character starts.
  if (before <= 0) return at;
  return from + static_cast<std::size_t>(window.left(before).toUtf8().size());
}

TMemoLayouts::TSpan TMemoLayouts::PieceSpan(std::size_t line, std::size_t piece) {
  const TSpan span = LineSpan(line);
  const std::size_t count = PieceCount(line);
  if (count == 1) return span;
  return {piece == 0 ? span.start : PieceStart(span, piece),
          piece + 1 == count ? span.end : PieceStart(span, piece + 1)};
}

std::size_t TMemoLayouts::PieceOf(std::size_t line, std::size_t position) {
  const std::size_t count = PieceCount(line);
  if (count == 1) return 0;
  const TSpan span = LineSpan(line);
  std::size_t piece = std::min((position - span.start) / kPieceBytes, count - 1);
  if (piece + 1 < count && position >= PieceStart(span, piece + 1)) ++piece;
  return piece;
}

std::shared_ptr<const TLaidOutLine> TMemoLayouts::Piece(std::size_t line, std::size_t piece) {
  TKept& kept = pieces_[TKey{line, piece}];
  kept.lastUse = ++uses_;
  if (kept.laidOut) return kept.laidOut;
  const qreal lineWidth = viewportWidth_ > 0 ? viewportWidth_ - 2 * kMemoMargin : qreal(INT_MAX);
  const TSpan span = PieceSpan(line, piece);
  auto laidOut = std::make_shared<const TLaidOutLine>(
      std::string_view(text_.Bytes()).substr(span.start, span.end - span.start), span.start,
      piece + 1 == PieceCount(line), font_, lineWidth);
  kept.laidOut = laidOut;
  units_ += laidOut->Utf16Length();
  Trim();
  return laidOut;
}

bool TMemoLayouts::Next(TVisualLine& v) {
  if (v.sub + 1 < Of(v)->SubLineCount()) {
    ++v.sub;
    return true;
  }
  return NextPiece(v);
}

bool TMemoLayouts::Previous(TVisualLine& v) {
  if (v.sub > 0) {
    --v.sub;
    return true;
  }
  if (!PreviousPiece(v)) return false;
  v.sub = Of(v)->SubLineCount() - 1;
  return true;
}

bool TMemoLayouts::NextPiece(TVisualLine& v) {
  if (v.piece + 1 < PieceCount(v.line)) {
    v = {v.line, v.piece + 1, 0};
    return true;
  }
  if (v.line + 1 >= text_.LineCount()) return false;
  v = {v.line + 1, 0, 0};
  return true;
}

bool TMemoLayouts::PreviousPiece(TVisualLine& v) {
  if (v.piece > 0) {
    v = {v.line, v.piece - 1, 0};
  } else if (v.line > 0) {
    v = LastPieceOf(v.line - 1);
  } else {
    return false;
  }
  v.sub = Of(v)->SubLineCount() - 1;
  return true;
}

TVisualLine TMemoLayouts::VisualOf(std::size_t position) {
  const std::size_t line = text_.LineOf(position);
  const std::size_t piece = PieceOf(line, position);
  const auto laid = Piece(line, piece);
  return {line, piece, laid->SubLineOf(position - laid->Start())};
}

qreal TMemoLayouts::HeightOf(TVisualLine v) {
  return Of(v)->SubLine(v.sub).height();
}

void TMemoLayouts::Trim() {
  if (pieces_.size() <= kKeptLines && units_ <= kKeptUnits) return;
  // Keep the most recently used half.
  std::vector<std::uint64_t> uses;
  uses.reserve(pieces_.size());
  for (const auto& entry : pieces_) uses.push_back(entry.second.lastUse);
  const auto middle = uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2);
  std::nth_element(uses.begin(), middle, uses.end());
  const std::uint64_t oldestKept = *middle;
  std::erase_if(pieces_, [this, oldestKept](const auto& entry) {
    if (entry.second.lastUse >= oldestKept) return false;
    units_ -= entry.second.laidOut->Utf16Length();
    return true;
  });
}

}  // namespace kestrava
