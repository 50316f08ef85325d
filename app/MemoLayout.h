#pragma once

// The lines of the text area laid out at its width, only those asked for:
// what is on screen and the few lines around it. Each line is laid out as a
// plain-text widget lays out a paragraph (word wrap, anywhere when a word
// is longer than the width), so it looks the same.

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "app/MemoText.h"

namespace kestrava {

// Space between the frame and the text, on every side.
inline constexpr qreal MemoMargin = 4;

// One line of the text laid out. Its positions are byte offsets into the
// line's UTF-8 text; the layout counts UTF-16 code units.
class TLaidOutLine {
 public:
  TLaidOutLine(std::string_view bytes, std::size_t start, const QFont& font, qreal lineWidth);

  const QTextLayout& Layout() const noexcept { return layout_; }
  // Offsets of the line in the whole text: its start and where its
  // separator begins.
  std::size_t Start() const noexcept { return start_; }
  std::size_t End() const noexcept { return start_ + bytes_; }

  int Utf16Of(std::size_t offsetInLine) const;
  std::size_t OffsetOf(int utf16) const;
  int Utf16Length() const { return static_cast<int>(layout_.text().size()); }

  qreal Height() const noexcept { return height_; }
  int SubLineCount() const { return layout_.lineCount(); }
  QTextLine SubLine(int sub) const { return layout_.lineAt(sub); }
  int SubLineOf(std::size_t offsetInLine) const;

 private:
  QTextLayout layout_;
  std::size_t start_;
  std::size_t bytes_;
  bool ascii_;
  qreal height_ = 0;
};

// A line as drawn: a line of the text and one of the lines it wraps into.
struct TVisualLine {
  std::size_t line = 0;
  int sub = 0;
  auto operator<=>(const TVisualLine&) const = default;
};

class TMemoLayouts {
 public:
  explicit TMemoLayouts(const TMemoText& text) : text_(text) {}

  // Forgets every layout when the font or the width changed. A width of 0
  // or less lays lines out without wrapping.
  void Configure(const QFont& font, int viewportWidth);
  // After the text changed, every line or the lines from `line` on.
  void Clear();
  void ClearFrom(std::size_t line);

  // The laid-out line. A few screens' worth of layouts are kept; the least
  // recently used go first.
  std::shared_ptr<const TLaidOutLine> Line(std::size_t line);

  // Steps to the next or previous line as drawn; false at the text's end
  // or start, with `v` unchanged.
  bool Next(TVisualLine& v);
  bool Previous(TVisualLine& v);
  // The line as drawn that shows a position.
  TVisualLine VisualOf(std::size_t position);
  qreal HeightOf(TVisualLine v);

 private:
  struct TKept {
    std::shared_ptr<const TLaidOutLine> laidOut;
    std::uint64_t lastUse = 0;
  };
  void Trim();

  const TMemoText& text_;
  QFont font_;
  int viewportWidth_ = -1;
  std::unordered_map<std::size_t, TKept> lines_;
  qsizetype units_ = 0;  // UTF-16 units of the kept lines
  std::uint64_t uses_ = 0;
};

}  // namespace kestrava
