#include "app/FindBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <algorithm>
#include <numeric>

#include "app/ParallelFind.h"

namespace kestrava {

namespace {

// The count goes a block at a time and counts this many blocks before it
// lets the event loop go on.
constexpr std::size_t kCountBlock = 1 << 20;
constexpr std::size_t kBlocksPerSlice = 4;

bool IsEnter(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

TFindBar::TFindBar(TMemo& memo, QWidget* parent) : QFrame(parent), memo_(memo) {
  setObjectName(QStringLiteral("FindBar"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  box_.setObjectName(QStringLiteral("FindText"));
  box_.setAccessibleName(QStringLiteral("Find"));
  box_.setClearButtonEnabled(true);
  count_.setObjectName(QStringLiteral("FindCount"));
  count_.setTextFormat(Qt::PlainText);
  count_.setMinimumWidth(
      count_.fontMetrics().horizontalAdvance(QStringLiteral("0000000 of 0000000…")));
  auto layout = std::make_unique<QHBoxLayout>();
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(&box_, 1);
  layout->addWidget(&count_);
  setLayout(layout.release());  // the frame owns its layout from here on
  box_.installEventFilter(this);
  connect(&box_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (isVisible()) SearchFor(text);
  });
  connect(&memo_, &TMemo::TextChanged, this, [this] {
    if (!isVisible() || search_ == nullptr) return;
    current_ = npos;
    foundNothing_ = false;
    origin_ = 0;
    StartCount();
  });
  hide();
}

// The box and the label leave the layout before the frame takes it down.
TFindBar::~TFindBar() = default;

void TFindBar::Open() {
  if (!isVisible()) {
    focusBefore_ = QApplication::focusWidget();
    origin_ = memo_.SelectionStart();
    current_ = npos;
    show();
    emit Opened();
    if (!box_.text().isEmpty()) SearchFor(box_.text());
  }
  box_.setFocus(Qt::ShortcutFocusReason);
  box_.selectAll();
}

void TFindBar::Close() {
  if (!isVisible()) return;
  countTimer_.stop();
  memo_.SetHighlight(nullptr);
  search_.reset();
  searched_.clear();
  foundNothing_ = false;
  hide();
  emit Closed();
  QWidget* back =
      focusBefore_ != nullptr && focusBefore_->isVisible() ? focusBefore_.data() : &memo_;
  back->setFocus(Qt::OtherFocusReason);
}

void TFindBar::SearchFor(const QString& text) {
  if (box_.text() != text) {
    const QSignalBlocker quiet(&box_);
    box_.setText(text);
  }
  // A search that found nothing finds nothing once typed on: no need to
  // read the whole text again.
  const bool nothingAgain = foundNothing_ && !searched_.isEmpty() && text.startsWith(searched_);
  searched_ = text;
  search_ = std::make_shared<const TTextSearch>(text.toStdString());
  if (search_->Empty()) {
    search_.reset();
    foundNothing_ = false;
    countTimer_.stop();
    current_ = npos;
    memo_.SetHighlight(nullptr);
    count_.clear();
    return;
  }
  memo_.SetHighlight(search_);
  if (nothingAgain) {
    countTimer_.stop();
    perBlock_.clear();
    total_ = 0;
    ShowCount();
    return;
  }
  Search();
  StartCount();
}

// The first match from where typing searches, round past the end.
void TFindBar::Search() {
  const std::string_view text = memo_.Utf8Text();
  std::size_t match = Forward(text, origin_, text.size());
  if (match == npos) match = Forward(text, 0, origin_);
  foundNothing_ = match == npos;
  if (match == npos) {
    current_ = npos;
    memo_.SetCaretPosition(memo_.SelectionStart());
    return;
  }
  Select(match);
}

std::size_t TFindBar::Forward(std::string_view text, std::size_t from, std::size_t to) const {
  return FindWithSummary(*search_, memo_.Content().Summary(), text, from, to,
                         TFindDirection::Forward);
}

void TFindBar::FindNext() {
  if (search_ == nullptr) return;
  const std::string_view text = memo_.Utf8Text();
  const std::size_t from = current_ != npos ? current_ + 1 : memo_.CaretPosition();
  std::size_t match = Forward(text, from, text.size());
  if (match == npos) match = Forward(text, 0, from);
  if (match != npos) Select(match);
}

void TFindBar::FindPrevious() {
  if (search_ == nullptr) return;
  const std::string_view text = memo_.Utf8Text();
  const std::size_t before = current_ != npos ? current_ : memo_.SelectionStart();
  const TFindSummary& summary = memo_.Content().Summary();
  std::size_t match = FindWithSummary(*search_, summary, text, 0, before, TFindDirection::Backward);
  if (match == npos)
    match = FindWithSummary(*search_, summary, text, before, text.size(), TFindDirection::Backward);
  if (match != npos) Select(match);
}

void TFindBar::Select(std::size_t match) {
  current_ = match;
  origin_ = match;
  memo_.SetSelection(match, match + search_->Length());
  ShowCount();
}

void TFindBar::StartCount() {
  perBlock_.clear();
  total_ = 0;
  countTimer_.start(0, this);
  ShowCount();
}

void TFindBar::timerEvent(QTimerEvent* event) {
  if (event->timerId() != countTimer_.timerId()) {
    QFrame::timerEvent(event);
    return;
  }
  const std::string_view text = memo_.Utf8Text();
  for (std::size_t slice = 0; slice < kBlocksPerSlice; ++slice) {
    const std::size_t from = perBlock_.size() * kCountBlock;
    if (from >= text.size() || search_ == nullptr) {
      countTimer_.stop();
      break;
    }
    const std::size_t found = CountWithSummary(*search_, memo_.Content().Summary(), text, from,
                                               std::min(text.size(), from + kCountBlock));
    perBlock_.push_back(static_cast<std::uint32_t>(found));
    total_ += found;
  }
  ShowCount();
}

std::size_t TFindBar::MatchesBefore(std::size_t position) const {
  const std::size_t block = position / kCountBlock;
  if (block >= perBlock_.size()) return npos;
  const std::size_t before =
      std::accumulate(perBlock_.begin(), perBlock_.begin() + block, std::size_t{0});
  return before + search_->Count(memo_.Utf8Text(), block * kCountBlock, position);
}

void TFindBar::ShowCount() {
  if (search_ == nullptr) {
    count_.clear();
    return;
  }
  const std::size_t before = current_ != npos ? MatchesBefore(current_) : npos;
  const QString n = current_ == npos ? QStringLiteral("0")
                    : before == npos ? QStringLiteral("?")
                                     : QString::number(before + 1);
  QString text = n + QStringLiteral(" of ") + QString::number(total_);
  if (Counting()) text += QChar(0x2026);
  count_.setText(text);
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &box_ && event->type() == QEvent::KeyPress) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (key.key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    if (IsEnter(key)) {
      if (key.modifiers() & Qt::ShiftModifier) {
        FindPrevious();
      } else {
        FindNext();
      }
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace kestrava
