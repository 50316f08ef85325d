#pragma once

// The main window TForm2: sign-in with the client id and secret, the
// environment, and the two reads (accounts, transactions of a range) whose
// results show as indented JSON in Memo1.

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "app/DateTimePicker.h"
#include "app/FormatJson.h"
#include "app/Memo.h"
#include "app/MessageBox.h"
#include "app/RadioGroup.h"
#include "client/Kestrava2Intf.h"

namespace kestrava {

class TForm2 final : public QWidget {
  Q_OBJECT

 public:
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

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class THandlerRun;
  class TBusyCursor;

  void LayOut();
  void SetUpTabOrder();
  void Dispatch(void (TForm2::*handler)());
  void ShowReadResult(bool read, const TJSONArray& records);
  void ShowMessage(const std::string& text);

  TMessageBoxPresenter& messageBoxes_;
  bool handlerRunning_ = false;
  bool closeRequested_ = false;
};

}  // namespace kestrava
