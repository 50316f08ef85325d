#pragma once

// The lines of the text area laid out at its width, only those asked for:
// what is on screen and the few lines around it. Each line is laid out as a
// plain-text widget lays out a paragraph (word wrap, anywhere when a word
// is longer than the width), so it looks the same.
//
// Laying out a line costs more than its length: an unbroken line of a
// megabyte would take many seconds. A line longer than kLongLineBytes is
// therefore laid out in pieces of about kPieceBytes, each on its own, found
// from the text alone, so that any part of it shows at the cost of the
// pieces on screen. A piece ends just after a space where one is near, and
// never inside a character or a cluster of combining marks; its last line
// as drawn may end short of the width. Only drawing sees the pieces: the
// text, positions, selection and copy are the line's.

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "app/MemoText.h"

namespace kestrava {

// Space between the frame and the text, on every side.
inline constexpr qreal kMemoMargin = 4;

// Lines up to this length are laid out whole; longer ones in pieces.
inline constexpr std::size_t kLongLineBytes = 8192;
inline constexpr std::size_t kPieceBytes = 4096;

// One line of the text, or one piece of a long line, laid out. Its
// positions are byte offsets into its UTF-8 text; the layout counts UTF-16
// code units.
class TLaidOutLine {
 public:
  TLaidOutLine(std::string_view bytes, std::size_t start, bool endsLine, const QFont& font,
               qreal lineWidth);

  const QTextLayout& Layout() const noexcept { return layout_; }
  // Offsets in the whole text: where it starts and ends. The end of the
  // last piece (or of a whole line) is where the line's separator begins;
  // the end of another piece is where the next one starts, and a position
  // there belongs to the next.
  std::size_t Start() const noexcept { return start_; }
  std::size_t End() const noexcept { return start_ + bytes_; }
  bool EndsLine() const noexcept { return endsLine_; }
  // Whether a position is in it, as the caret is drawn.
  bool Holds(std::size_t position) const noexcept {
    return position >= Start() && (position < End() || (endsLine_ && position == End()));
  }

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
  bool endsLine_;
  bool ascii_;
  qreal height_ = 0;
};

// A line as drawn: a line of the text, the piece of it and one of the
// lines that piece wraps into.
struct TVisualLine {
  std::size_t line = 0;
  std::size_t piece = 0;
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

  // A piece of a line laid out. A few screens' worth of layouts are kept;
  // the least recently used go first.
  std::shared_ptr<const TLaidOutLine> Piece(std::size_t line, std::size_t piece);
  std::shared_ptr<const TLaidOutLine> Of(TVisualLine v) { return Piece(v.line, v.piece); }
  std::size_t PieceCount(std::size_t line);
  // The first line as drawn of the line's last piece.
  TVisualLine LastPieceOf(std::size_t line) { return {line, PieceCount(line) - 1, 0}; }

  // Steps to the next or previous line as drawn; false at the text's end
  // or start, with `v` unchanged.
  bool Next(TVisualLine& v);
  bool Previous(TVisualLine& v);
  // Steps to the first line as drawn of the next piece, or of the next
  // line; to the last of the previous.
  bool NextPiece(TVisualLine& v);
  bool PreviousPiece(TVisualLine& v);
  // The line as drawn that shows a position.
  TVisualLine VisualOf(std::size_t position);
  qreal HeightOf(TVisualLine v);

  // Where a line's piece starts and ends in the text.
  struct TSpan {
    std::size_t start = 0;
    std::size_t end = 0;
  };
  TSpan PieceSpan(std::size_t line, std::size_t piece);

 private:
  struct TKey {
    std::size_t line;
    std::size_t piece;
    bool operator==(const TKey&) const = default;
  };
  struct THashKey {
    std::size_t operator()(const TKey& key) const noexcept {
      return key.line * 0x9E3779B97F4A7C15ULL ^ key.piece;
    }
  };
  struct TKept {
    std::shared_ptr<const TLaidOutLine> laidOut;
    std::uint64_t lastUse = 0;
  };
  void Trim();
  // The line's start and end, the last one asked for kept.
  TSpan LineSpan(std::size_t line);
  // Where piece k > 0 of a long line begins.
  std::size_t PieceStart(TSpan line, std::size_t piece) const;
  std::size_t PieceOf(std::size_t line, std::size_t position);

  const TMemoText& text_;
  QFont font_;
  int viewportWidth_ = -1;
  std::unordered_map<TKey, TKept, THashKey> pieces_;
  qsizetype units_ = 0;  // UTF-16 units of the kept layouts
  std::uint64_t uses_ = 0;
  std::size_t spanLine_ = std::numeric_limits<std::size_t>::max();
  TSpan span_;
};

}  // namespace kestrava
