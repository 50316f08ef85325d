#include "app/MemoLayout.h"

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

}  // namespace

TLaidOutLine::TLaidOutLine(std::string_view bytes, std::size_t start, const QFont& font,
                           qreal lineWidth)
    : layout_(ShownLine(bytes), font),
      start_(start),
      bytes_(bytes.size()),
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
    line.setPosition(QPointF(MemoMargin, height_));
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
  lines_.clear();
  units_ = 0;
}

void TMemoLayouts::ClearFrom(std::size_t line) {
  std::erase_if(lines_, [this, line](const auto& entry) {
    if (entry.first < line) return false;
    units_ -= entry.second.laidOut->Utf16Length();
    return true;
  });
}

std::shared_ptr<const TLaidOutLine> TMemoLayouts::Line(std::size_t line) {
  TKept& kept = lines_[line];
  kept.lastUse = ++uses_;
  if (kept.laidOut) return kept.laidOut;
  const qreal lineWidth = viewportWidth_ > 0 ? viewportWidth_ - 2 * MemoMargin : qreal(INT_MAX);
  auto laidOut = std::make_shared<const TLaidOutLine>(text_.LineText(line), text_.LineStart(line),
                                                      font_, lineWidth);
  kept.laidOut = laidOut;
  units_ += laidOut->Utf16Length();
  Trim();
  return laidOut;
}

bool TMemoLayouts::Next(TVisualLine& v) {
  if (v.sub + 1 < Line(v.line)->SubLineCount()) {
    ++v.sub;
    return true;
  }
  if (v.line + 1 >= text_.LineCount()) return false;
  v = {v.line + 1, 0};
  return true;
}

bool TMemoLayouts::Previous(TVisualLine& v) {
  if (v.sub > 0) {
    --v.sub;
    return true;
  }
  if (v.line == 0) return false;
  v = {v.line - 1, Line(v.line - 1)->SubLineCount() - 1};
  return true;
}

TVisualLine TMemoLayouts::VisualOf(std::size_t position) {
  const std::size_t line = text_.LineOf(position);
  const auto laid = Line(line);
  return {line, laid->SubLineOf(position - laid->Start())};
}

qreal TMemoLayouts::HeightOf(TVisualLine v) {
  return Line(v.line)->SubLine(v.sub).height();
}

void TMemoLayouts::Trim() {
  if (lines_.size() <= kKeptLines && units_ <= kKeptUnits) return;
  // Keep the most recently used half.
  std::vector<std::uint64_t> uses;
  uses.reserve(lines_.size());
  for (const auto& entry : lines_) uses.push_back(entry.second.lastUse);
  const auto middle = uses.begin() + static_cast<std::ptrdiff_t>(uses.size() / 2);
  std::nth_element(uses.begin(), middle, uses.end());
  const std::uint64_t oldestKept = *middle;
  std::erase_if(lines_, [this, oldestKept](const auto& entry) {
    if (entry.second.lastUse >= oldestKept) return false;
    units_ -= entry.second.laidOut->Utf16Length();
    return true;
  });
}

}  // namespace kestrava
