#include "app/DateTimePicker.h"

#include <QResizeEvent>
#include <QSignalBlocker>

namespace kestrava {

namespace {

constexpr std::int64_t kMSecsPerMinute = 60'000;

// 30 December 1899, day 0 of the date-time values.
QDate DayZero() {
  return QDate(1899, 12, 30);
}

// The days the editors show, those of the platform's date pickers.
QDate FirstShownDate() {
  return QDate(1601, 1, 1);
}
QDate LastShownDate() {
  return QDate(9999, 12, 31);
}

}  // namespace

QDate DateOfDayNumber(std::int64_t day) {
  return DayZero().addDays(day);
}

std::int64_t DayNumberOfDate(QDate date) {
  return DayZero().daysTo(date);
}

TDateTimePicker::TDateTimePicker(QWidget* parent) : QWidget(parent) {}

TDateTimePicker::~TDateTimePicker() = default;

void TDateTimePicker::SetDateTime(TDateTime value) {
  const TDayAndTime split = SplitDateTime(value);  // throws for values beyond any calendar
  if (split.Day == 0 && split.MillisecondOfDay == 0) {
    throw EDateTimeError("You must be in ShowCheckbox mode to set to this date");
  }
  if (split.Day < DayNumberOfDate(FirstShownDate()) ||
      split.Day > DayNumberOfDate(LastShownDate())) {
    throw EDateTimeError("The picker cannot show this date (years 1601 to 9999 only)");
  }
  value_ = value;
  ShowHeldValue();
}

void TDateTimePicker::SetTimeOfDayFrom(TDateTime other) {
  const TDayAndTime own = Held();
  const TDayAndTime theirs = SplitDateTime(other);
  if (own.MillisecondOfDay == theirs.MillisecondOfDay) return;
  SetDateTime(JoinDateTime(own.Day, theirs.MillisecondOfDay));
}

TDayAndTime TDateTimePicker::Held() const {
  return SplitDateTime(value_);
}

void TDateTimePicker::ShowHeldValue() {
  const QSignalBlocker quiet(&Editor());
  ShowPart(Held());
}

void TDateTimePicker::resizeEvent(QResizeEvent* event) {
  Editor().setGeometry(0, 0, event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

TDatePicker::TDatePicker(QWidget* parent) : TDateTimePicker(parent), edit_(this) {
  edit_.setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  edit_.setCalendarPopup(true);
  edit_.setDateRange(FirstShownDate(), LastShownDate());
  ShowHeldValue();
  connect(&edit_, &QDateEdit::dateChanged, this, &TDatePicker::OperatorEdited);
}

TDatePicker::~TDatePicker() = default;

void TDatePicker::ShowPart(TDayAndTime held) {
  edit_.setDate(DateOfDayNumber(held.Day));
}

void TDatePicker::OperatorEdited(QDate date) {
  if (!date.isValid()) return;
  StoreEdited(JoinDateTime(DayNumberOfDate(date), Held().MillisecondOfDay));
}

TTimePicker::TTimePicker(QWidget* parent) : TDateTimePicker(parent), edit_(this) {
  edit_.setDisplayFormat(QStringLiteral("HH:mm"));
  edit_.setWrapping(true);
  ShowHeldValue();
  connect(&edit_, &QTimeEdit::timeChanged, this, &TTimePicker::OperatorEdited);
}

TTimePicker::~TTimePicker() = default;

void TTimePicker::ShowPart(TDayAndTime held) {
  edit_.setTime(QTime::fromMSecsSinceStartOfDay(static_cast<int>(held.MillisecondOfDay)));
}

void TTimePicker::OperatorEdited(QTime time) {
  if (!time.isValid()) return;
  const TDayAndTime held = Held();
  const std::int64_t secondsAndMilliseconds = held.MillisecondOfDay % kMSecsPerMinute;
  const std::int64_t hourAndMinute = (time.hour() * 60LL + time.minute()) * kMSecsPerMinute;
  StoreEdited(JoinDateTime(held.Day, hourAndMinute + secondsAndMilliseconds));
}

}  // namespace kestrava
