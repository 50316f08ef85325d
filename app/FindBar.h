#pragma once

// The find bar of the text area: docked under it while it is open (Ctrl+F),
// never there at rest. Typing searches as it goes, from where the bar was
// opened; Enter or F3 goes to the next match and Shift+Enter or Shift+F3 to
// the previous one, round past either end. Every match on screen is
// highlighted and the current one selected. The bar counts all matches
// ("N of M") a slice of the text at a time from the event loop, so typing
// never waits for the count. Escape closes it and gives the focus back.

#include <QBasicTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app/Memo.h"
#include "app/TextSearch.h"

namespace kestrava {

class TFindBar final : public QFrame {
  Q_OBJECT

 public:
  explicit TFindBar(TMemo& memo, QWidget* parent = nullptr);
  ~TFindBar() override;

  // Shows the bar with the focus in its search box, its text selected.
  void Open();
  // Hides the bar and the highlights, and gives the focus back to where it
  // was before the bar opened.
  void Close();
  void FindNext();
  void FindPrevious();
  // What typing a text into the box does.
  void SearchFor(const QString& text);

  QLineEdit& SearchBox() noexcept { return box_; }
  // "N of M" (an ellipsis after it while the count goes on).
  QString CountText() const { return count_.text(); }
  bool Counting() const noexcept { return countTimer_.isActive(); }

 signals:
  void Opened();
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  static constexpr std::size_t npos = TTextSearch::npos;

  void Search();
  // The first match in [from, to), the text read by a few threads at once.
  std::size_t Forward(std::string_view text, std::size_t from, std::size_t to) const;
  // Makes the match the current one and selects it.
  void Select(std::size_t match);
  void StartCount();
  void ShowCount();
  // Matches before a position, from the count made so far; npos when the
  // count has not got there yet.
  std::size_t MatchesBefore(std::size_t position) const;

  TMemo& memo_;
  QLineEdit box_;
  QLabel count_;
  std::shared_ptr<const TTextSearch> search_;
  QString searched_;            // the text of the search
  bool foundNothing_ = false;   // the search has no match anywhere
  std::size_t origin_ = 0;      // where typing searches from
  std::size_t current_ = npos;  // start of the current match
  QPointer<QWidget> focusBefore_;

  // The count: matches starting in each block of the text counted so far.
  QBasicTimer countTimer_;
  std::vector<std::uint32_t> perBlock_;
  std::size_t total_ = 0;
};

}  // namespace kestrava
