#pragma once

// The main window TForm2: sign-in with the client id and secret, the
// environment, and the two reads (accounts, transactions of a range) whose
// results show as indented JSON in Memo1.
//
// While the window waits on the service it stays painted and shows the
// busy cursor; input to it is dropped, never kept for later. Escape breaks
// the wait off: a read then fails with kCancelledText in Memo1, a sign-in
// with it in the message box. Closing the window breaks it off too, and the
// window closes as soon as the handler has returned.

#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/DateTimePicker.h"
#include "app/FindBar.h"
#include "app/FormatJson.h"
#include "app/Memo.h"
#include "app/MessageBox.h"
#include "app/RadioGroup.h"
#include "app/RecordsText.h"
#include "client/Kestrava2Intf.h"

namespace kestrava {

class TForm2 final : public QWidget {
  Q_OBJECT

 public:
  // What a read or a sign-in that the operator broke off fails with.
  static constexpr const char* kCancelledText = "Cancelled by the operator";

  // Lays out the controls and runs FormCreate; message boxes go to the
  // presenter, which must outlive the window.
  explicit TForm2(TMessageBoxPresenter& messageBoxes, QWidget* parent = nullptr);
  ~TForm2() override;

  // The controls, in their declared order. The panel comes first, so that it
  // outlives the controls placed on it.
  QFrame Panel1;
  TMemo Memo1;
  QPushButton BTranz;
  QPushButton BAccounts;
  QLineEdit edID;
  QLabel lbl1;
  QLabel Label1;
  QLineEdit edSecret;
  QPushButton btn1;
  QFrame Bevel1;
  TRadioGroup GMediu;
  TDatePicker XDEnd;
  QLabel Label2;
  QLabel Label3;
  QFrame Bevel2;
  QFrame Bevel3;
  TTimePicker XTStart;
  TTimePicker XTEnd;
  TDatePicker XDStart;

  // The handlers. The buttons reach them through the window's dispatch,
  // which keeps the window from closing mid-handler and repaints it after.
  void FormCreate();
  void btn1Click();
  void BAccountsClick();
  void BTranzClick();

  // The current API client, none until the first "Login".
  std::unique_ptr<TKestrava_2> SA;

  // The find bar of Memo1 (Ctrl+F), made the first time it is asked for.
  TFindBar& FindBar();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Enter on a focused push button presses it (none is the default button).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class THandlerRun;
  class TServiceWait;
  class TInputDrop;
  // Why a wait on the service is to end before its time.
  enum class TCancel { None, Operator, Close };

  void LayOut();
  void SetUpTabOrder();
  void Dispatch(void (TForm2::*handler)());
  // Reads records into their display text, page by page; the wait can be
  // broken off between two pages.
  bool ReadRecords(const std::function<bool(const TKestrava_2::TRecordSink&)>& read,
                   TRecordsText& records);
  // Shows the display text of the read records, or the error text, as the
  // whole text of Memo1.
  void ShowReadResult(bool read, TRecordsText& records);
  // The client's wait hook: repaints, and gives whether to go on.
  bool GoOn();
  void ShowMessage(const std::string& text);
  // Delivers the events that are due, at most every 50 ms, while a handler
  // waits on the service; input among them is dropped (TInputDrop).
  void RepaintWhileBusy();

  TMessageBoxPresenter& messageBoxes_;
  bool handlerRunning_ = false;
  bool closeRequested_ = false;
  TCancel cancel_ = TCancel::None;
  QShortcut findKey_{this};
  QShortcut findNextKey_{this};
  QShortcut findPreviousKey_{this};
  // After the controls: it refers to Memo1.
  std::unique_ptr<TFindBar> findBar_;
  bool shown_ = false;
  QElapsedTimer sinceRepaint_;
};

}  // namespace kestrava
