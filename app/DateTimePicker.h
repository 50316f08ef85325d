#pragma once

// The window's date and time pickers. Each holds one whole date-time value
// (to the millisecond) and shows only part of it: a date picker the day as
// "dd.MM.yyyy" with a drop-down calendar, a time picker the hour and minute
// as "HH:mm" with spin buttons.
//
// An operator's edit of a date picker replaces the held day and keeps the
// held time of day. An operator's edit of a time picker replaces the held
// hour and minute and keeps the held day, seconds and milliseconds: an edit
// changes only what the picker shows.

#include <QDateEdit>
#include <QTimeEdit>
#include <QWidget>

#include "base/Exception.h"
#include "datetime/DateTime.h"

namespace kestrava {

// A picker refused a value.
class EDateTimeError : public Exception {
 public:
  using Exception::Exception;
};

// Tab and Backtab leave the editors (as in the other controls) instead of
// moving between the day, month and year or hour and minute; arrow keys and
// the cursor move between them.
class TDateEdit final : public QDateEdit {
  Q_OBJECT

 public:
  using QDateEdit::QDateEdit;

 protected:
  bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

class TTimeEdit final : public QTimeEdit {
  Q_OBJECT

 public:
  using QTimeEdit::QTimeEdit;

 protected:
  bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

class TDateTimePicker : public QWidget {
  Q_OBJECT

 public:
  ~TDateTimePicker() override;

  // The whole held value.
  TDateTime DateTime() const noexcept { return value_; }
  // Stores the value unchanged, seconds and milliseconds included. The zero
  // value is refused with "You must be in ShowCheckbox mode to set to this
  // date"; so is a value whose day the picker cannot show (outside the years
  // 1601 to 9999). A refused value changes nothing.
  void SetDateTime(TDateTime value);
  // Keeps the held day and takes the other value's time of day, seconds and
  // milliseconds included; nothing changes when the two times of day are
  // already equal. The result is refused as by SetDateTime.
  void SetTimeOfDayFrom(TDateTime other);

  // The editor inside: the stop of the tab chain.
  virtual QDateTimeEdit& Editor() noexcept = 0;

 protected:
  explicit TDateTimePicker(QWidget* parent);
  // Shows the held value's part in the editor without reporting an edit.
  void ShowHeldValue();
  // An operator's edit: stored without the checks of SetDateTime.
  void StoreEdited(TDateTime value) noexcept { value_ = value; }
  TDayAndTime Held() const;
  virtual void ShowPart(TDayAndTime held) = 0;

  void resizeEvent(QResizeEvent* event) override;

 private:
  TDateTime value_ = 0.0;
};

// "dd.MM.yyyy" with a drop-down calendar; an edit replaces the held day.
class TDatePicker final : public TDateTimePicker {
  Q_OBJECT

 public:
  explicit TDatePicker(QWidget* parent = nullptr);
  ~TDatePicker() override;
  QDateTimeEdit& Editor() noexcept override { return edit_; }

 private:
  void ShowPart(TDayAndTime held) override;
  void OperatorEdited(QDate date);
  TDateEdit edit_;
};

// "HH:mm" with spin buttons; an edit replaces the held hour and minute.
class TTimePicker final : public TDateTimePicker {
  Q_OBJECT

 public:
  explicit TTimePicker(QWidget* parent = nullptr);
  ~TTimePicker() override;
  QDateTimeEdit& Editor() noexcept override { return edit_; }

 private:
  void ShowPart(TDayAndTime held) override;
  void OperatorEdited(QTime time);
  TTimeEdit edit_;
};

// The calendar day of a day number (30 December 1899 = 0) and back.
QDate DateOfDayNumber(std::int64_t day);
std::int64_t DayNumberOfDate(QDate date);

}  // namespace kestrava
