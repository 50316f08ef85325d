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
//
// "Save As…" (Ctrl+S, and Memo1's context menu) saves the result of the
// last successful read while Memo1 shows it: the text as shown, or its
// records as kestrava-cli writes them. Saving waits as a read does.

#include <QAction>
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
#include "app/SaveDialog.h"
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

  // Saves the result shown (Ctrl+S); nothing when none is shown.
  void SaveAs();
  // Whether Memo1 shows the result of a read that can be saved.
  bool CanSave() const noexcept { return shownResult_ != TResult::None; }
  // The dialog that asks where to save; none gives back Qt's. The dialog is
  // not owned and must outlive its use.
  void SetSaveDialog(TSaveDialog* dialog) noexcept;

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
  class TBusyWait;
  class TInputDrop;
  // Why a wait on the service or on a save is to end before its time.
  enum class TCancel { None, Operator, Close };
  // The read whose result Memo1 shows.
  enum class TResult { None, Accounts, Transactions };

  void LayOut();
  void SetUpTabOrder();
  void Dispatch(void (TForm2::*handler)());
  // Reads records into their display text, page by page; the wait can be
  // broken off between two pages.
  bool ReadRecords(const std::function<bool(const TKestrava_2::TRecordSink&)>& read,
                   TRecordsText& records);
  // Shows the display text of the read records, or the error text, as the
  // whole text of Memo1.
  void ShowReadResult(bool read, TRecordsText& records, TResult result);
  // Which read's result Memo1 shows from here on (none: nothing to save).
  void SetShownResult(TResult result);
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
  QAction saveAction_{this};
  TQtSaveDialog qtSaveDialog_;
  TSaveDialog* saveDialog_ = &qtSaveDialog_;
  // The result shown: which read, and its length at the start of Memo1's
  // text (a token line may follow it).
  TResult shownResult_ = TResult::None;
  std::size_t resultSize_ = 0;
  // Where the last save went, and as what.
  QString saveFolder_;
  TSaveType saveType_ = TSaveType::Json;
  // After the controls: it refers to Memo1.
  std::unique_ptr<TFindBar> findBar_;
  bool shown_ = false;
  QElapsedTimer sinceRepaint_;
};

}  // namespace kestrava
