#include "app/Main.h"

#include "app/Application.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "datetime/DateTime.h"
#include "json/JSON.h"

namespace kestrava {

namespace {

constexpr int kPanelHeight = 165;
// Time between repaints while a handler waits on the service.
constexpr std::chrono::milliseconds kRepaintInterval{50};

// Design sizes are pixels at 96 dpi; Qt's device-independent pixels scale
// them with the screen's density.
QFont DesignFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

void Name(QWidget& widget, const char* name) {
  widget.setObjectName(QLatin1String(name));
}

void Place(QWidget& widget, QWidget& parent, const char* name, int left, int top, int width,
           int height) {
  widget.setParent(&parent);
  Name(widget, name);
  widget.setGeometry(left, top, width, height);
}

void PlaceButton(QPushButton& button, QWidget& parent, const char* name, const char* caption,
                 int left, int top, int width, int height) {
  Place(button, parent, name, left, top, width, height);
  button.setText(QLatin1String(caption));
  button.setAutoDefault(false);
  button.setDefault(false);
}

bool IsEnterPress(const QEvent& event) {
  if (event.type() != QEvent::KeyPress) return false;
  const auto& key = static_cast<const QKeyEvent&>(event);
  const Qt::KeyboardModifiers others = key.modifiers() & ~Qt::KeypadModifier;
  return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && others == Qt::NoModifier &&
         !key.isAutoRepeat();
}

// A label sizes itself to its text at its position.
void PlaceLabel(QLabel& label, QWidget& parent, const char* name, const char* caption, int left,
                int top) {
  label.setParent(&parent);
  Name(label, name);
  label.setTextFormat(Qt::PlainText);
  label.setText(QLatin1String(caption));
  label.adjustSize();
  label.move(left, top);
}

// A sunken rectangular frame, drawn behind the controls it frames.
void PlaceBevel(QFrame& bevel, QWidget& parent, const char* name, int left, int top, int width,
                int height) {
  Place(bevel, parent, name, left, top, width, height);
  bevel.setFrameStyle(QFrame::Panel | QFrame::Sunken);
  bevel.setLineWidth(1);
  bevel.setAttribute(Qt::WA_TransparentForMouseEvents);
  bevel.lower();
}

void PlacePicker(TDateTimePicker& picker, QWidget& parent, const char* name, int left, int top,
                 int width, int height, const QColor* background) {
  Place(picker, parent, name, left, top, width, height);
  picker.setFont(DesignFont(12, true));
  QPalette palette = picker.palette();
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::WindowText, Qt::black);
  if (background != nullptr) palette.setColor(QPalette::Base, *background);
  picker.setPalette(palette);
}

}  // namespace

// Marks a handler as running; afterwards the window repaints, and a close
// asked for meanwhile happens once the handler has returned.
class TForm2::THandlerRun {
 public:
  explicit THandlerRun(TForm2& window) : window_(window), outermost_(!window.handlerRunning_) {
    window_.handlerRunning_ = true;
  }
  ~THandlerRun() {
    if (!outermost_) return;
    window_.handlerRunning_ = false;
    window_.update();
    if (window_.closeRequested_) {
      window_.closeRequested_ = false;
      QMetaObject::invokeMethod(
          &window_, [window = &window_] { window->close(); }, Qt::QueuedConnection);
    }
  }
  THandlerRun(const THandlerRun&) = delete;
  THandlerRun& operator=(const THandlerRun&) = delete;

 private:
  TForm2& window_;
  bool outermost_;
};

// Drops every input event of the program while the window waits on the
// service, so that nothing clicked, typed or scrolled meanwhile acts, then
// or afterwards. Escape asks for the wait to be broken off.
class TForm2::TInputDrop final : public QObject {
 public:
  explicit TInputDrop(TForm2& window) : window_(window) { qApp->installEventFilter(this); }
  ~TInputDrop() override { qApp->removeEventFilter(this); }
  TInputDrop(const TInputDrop&) = delete;
  TInputDrop& operator=(const TInputDrop&) = delete;

  // From here on Escape is dropped as any key: the wait is over.
  void EndWait() noexcept { waiting_ = false; }

  bool eventFilter(QObject*, QEvent* event) override {
    if (!IsInput(event->type())) return false;
    if (waiting_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && window_.cancel_ == TCancel::None)
      window_.cancel_ = TCancel::Operator;
    return true;
  }

 private:
  static bool IsInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::InputMethod:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TabletMove:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TouchCancel:
      case QEvent::NativeGesture:
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop:
        return true;
      default:
        return false;
    }
  }

  TForm2& window_;
  bool waiting_ = true;
};

// A handler waiting on the service or on a save: the wait cursor, input dropped, and
// the paint events that are due delivered first, so the window does not
// look stuck half-drawn. Whatever input came in while the handler worked
// is dropped before the handler returns.
class TForm2::TBusyWait {
 public:
  explicit TBusyWait(TForm2& window) : window_(window), drop_(window) {
    window.cancel_ = TCancel::None;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window.sinceRepaint_.invalidate();
    window.RepaintWhileBusy();
  }
  ~TBusyWait() {
    window_.Memo1.ClearProgress();
    drop_.EndWait();
    QCoreApplication::processEvents();
    QApplication::restoreOverrideCursor();
  }
  TBusyWait(const TBusyWait&) = delete;
  TBusyWait& operator=(const TBusyWait&) = delete;

 private:
  TForm2& window_;
  TInputDrop drop_;
};

TForm2::TForm2(TMessageBoxPresenter& messageBoxes, QWidget* parent)
    : QWidget(parent),
      GMediu(QStringLiteral(" Tip mediu "),
             {QStringLiteral(" productie"), QStringLiteral(" testare")}, 2),
      messageBoxes_(messageBoxes) {
  setWindowTitle(QStringLiteral("Form2"));
  setFont(DesignFont(11, false));

  Panel1.setParent(this);
  Name(Panel1, "Panel1");
  Panel1.setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1.setLineWidth(1);
  Panel1.setFont(DesignFont(11, true));

  Memo1.setParent(this);
  Name(Memo1, "Memo1");
  Memo1.setFont(DesignFont(11, true));

  const QColor panelBackground = Panel1.palette().color(QPalette::Window);
  PlaceBevel(Bevel1, Panel1, "Bevel1", 6, 3, 417, 140);
  PlaceLabel(lbl1, Panel1, "lbl1", "ID", 65, 16);
  Place(edID, Panel1, "edID", 84, 14, 306, 21);
  edID.setText(QStringLiteral("K27315TQB"));
  PlaceLabel(Label1, Panel1, "Label1", "Client Secret", 9, 44);
  Place(edSecret, Panel1, "edSecret", 85, 41, 305, 21);
  edSecret.setText(QStringLiteral("9a1c5d2e-8b3f-4c6a-9d1e-7f2b0c4a8e5d"));
  Place(GMediu, Panel1, "GMediu", 9, 65, 270, 47);
  GMediu.SetItemIndex(0);
  PlaceButton(btn1, Panel1, "btn1", "Login", 106, 115, 216, 25);
  PlaceBevel(Bevel3, Panel1, "Bevel3", 453, 0, 316, 50);
  PlaceButton(BAccounts, Panel1, "BAccounts", "Citeste Conturi", 460, 11, 285, 25);
  BAccounts.setEnabled(false);
  PlaceBevel(Bevel2, Panel1, "Bevel2", 456, 56, 313, 98);
  PlaceButton(BTranz, Panel1, "BTranz", "Citeste Tranzactii", 460, 59, 285, 25);
  BTranz.setEnabled(false);
  PlaceLabel(Label2, Panel1, "Label2", "Data ora start", 459, 98);
  PlacePicker(XDStart, Panel1, "XDStart", 552, 92, 112, 22, nullptr);
  PlacePicker(XTStart, Panel1, "XTStart", 678, 92, 67, 22, &panelBackground);
  PlaceLabel(Label3, Panel1, "Label3", "Data ora end", 460, 130);
  PlacePicker(XDEnd, Panel1, "XDEnd", 552, 126, 112, 22, nullptr);
  PlacePicker(XTEnd, Panel1, "XTEnd", 678, 126, 67, 22, &panelBackground);

  SetUpTabOrder();
  resize(783, 612);
  LayOut();

  connect(&btn1, &QPushButton::clicked, this, [this] { Dispatch(&TForm2::btn1Click); });
  connect(&BAccounts, &QPushButton::clicked, this, [this] { Dispatch(&TForm2::BAccountsClick); });
  connect(&BTranz, &QPushButton::clicked, this, [this] { Dispatch(&TForm2::BTranzClick); });
  for (QPushButton* button : {&btn1, &BAccounts, &BTranz}) button->installEventFilter(this);
  findKey_.setKey(QKeySequence::Find);
  connect(&findKey_, &QShortcut::activated, this, [this] { FindBar().Open(); });
  findNextKey_.setKey(QKeySequence::FindNext);
  connect(&findNextKey_, &QShortcut::activated, this, [this] {
    if (findBar_ != nullptr && findBar_->isVisible()) findBar_->FindNext();
  });
  findPreviousKey_.setKey(QKeySequence::FindPrevious);
  connect(&findPreviousKey_, &QShortcut::activated, this, [this] {
    if (findBar_ != nullptr && findBar_->isVisible()) findBar_->FindPrevious();
  });
  saveAction_.setObjectName(QStringLiteral("save-as"));
  saveAction_.setText(QStringLiteral("Save As\u2026"));
  saveAction_.setShortcut(QKeySequence::Save);
  saveAction_.setShortcutContext(Qt::WindowShortcut);
  saveAction_.setEnabled(false);
  addAction(&saveAction_);
  Memo1.AddMenuAction(&saveAction_);
  connect(&saveAction_, &QAction::triggered, this, [this] { Dispatch(&TForm2::SaveAs); });
  // Whatever replaces the text takes the result with it; a read that
  // succeeds says so after it has shown its result.
  connect(&Memo1, &TMemo::TextReplaced, this, [this] { SetShownResult(TResult::None); });

  FormCreate();
  edID.setFocus();
}

// The client object goes first (it is declared last); the controls then
// leave the panel before the panel leaves the window.
TForm2::~TForm2() = default;

void TForm2::SetUpTabOrder() {
  QWidget* const chain[] = {
      &BTranz,           &BAccounts,      &edID,           &edSecret,         &btn1,
      &GMediu.Item(0),   &GMediu.Item(1), &XDEnd.Editor(), &XTStart.Editor(), &XTEnd.Editor(),
      &XDStart.Editor(), &Memo1};
  for (std::size_t i = 0; i + 1 < std::size(chain); ++i) setTabOrder(chain[i], chain[i + 1]);
  setTabOrder(&Memo1, &BTranz);  // and round again
}

// The find bar, while it is open, takes the bottom of Memo1's place.
void TForm2::LayOut() {
  Panel1.setGeometry(0, 0, width(), kPanelHeight);
  const bool finding = findBar_ != nullptr && findBar_->isVisibleTo(this);
  const int below = finding ? std::min(findBar_->sizeHint().height(), height() - kPanelHeight) : 0;
  Memo1.setGeometry(0, kPanelHeight, width(), std::max(0, height() - kPanelHeight - below));
  if (finding) findBar_->setGeometry(0, height() - below, width(), below);
}

TFindBar& TForm2::FindBar() {
  if (findBar_ == nullptr) {
    findBar_ = std::make_unique<TFindBar>(Memo1, this);
    connect(findBar_.get(), &TFindBar::Opened, this, [this] { LayOut(); });
    connect(findBar_.get(), &TFindBar::Closed, this, [this] { LayOut(); });
  }
  return *findBar_;
}

void TForm2::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

// The first show selects the design-time id, as Tab into an edit box does,
// so that typing replaces it.
void TForm2::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (focusWidget() == &edID) edID.selectAll();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (IsEnterPress(*event)) {
    auto* button = static_cast<QPushButton*>(watched);
    if (button->isEnabled()) button->click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm2::closeEvent(QCloseEvent* event) {
  if (handlerRunning_) {
    // The wait in progress ends at once; the window closes after it.
    closeRequested_ = true;
    cancel_ = TCancel::Close;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

// An exception that escapes a handler is shown in an error message box, as
// the event loop does, before it could unwind through Qt's frames.
void TForm2::Dispatch(void (TForm2::*handler)()) {
  const THandlerRun run(*this);
  try {
    (this->*handler)();
  } catch (...) {
    const QString message = CurrentExceptionMessage();
    messageBoxes_.Show({this, ApplicationTitle(), message, TMessageBoxIcon::Error});
  }
}

void TForm2::ShowMessage(const std::string& text) {
  messageBoxes_.Show(
      {this, ApplicationTitle(), QString::fromStdString(text), TMessageBoxIcon::None});
}

void TForm2::FormCreate() {
  XDStart.SetDateTime(IncHour(Now(), -24));
  XTStart.SetDateTime(IncHour(Now(), -24));
  XDEnd.SetDateTime(Now());
  XTEnd.SetDateTime(Now());
}

void TForm2::btn1Click() {
  {
    const TBusyWait wait(*this);
    if (SA != nullptr) {
      std::unique_ptr<TKestrava_2> previous = std::move(SA);  // SA is none from here on
      previous.reset();
    }
    const std::string secret = edSecret.text().toStdString();
    const int environment = GMediu.ItemIndex() + 1;
    const std::string id = edID.text().toStdString();
    try {
      SA = std::make_unique<TKestrava_2>(id, secret, environment,
                                         TWaitHook{[this] { return GoOn(); }, kRepaintInterval});
    } catch (...) {
      // No client is left to read with.
      BAccounts.setEnabled(false);
      BTranz.setEnabled(false);
      throw;
    }
  }
  if (SA->LogatLaServer) {
    Memo1.LinesAdd(QString::fromStdString(SA->Token));
  } else if (cancel_ == TCancel::None) {
    ShowMessage(SA->MesajEroare());
  } else if (cancel_ == TCancel::Operator) {
    ShowMessage(kCancelledText);
  }
  BAccounts.setEnabled(SA->LogatLaServer);
  BTranz.setEnabled(SA->LogatLaServer);
}

void TForm2::BAccountsClick() {
  if (SA == nullptr) return;
  const TBusyWait wait(*this);
  TRecordsText accounts;
  const bool read = ReadRecords(
      [this](const TKestrava_2::TRecordSink& keep) { return SA->Accounts(keep); }, accounts);
  ShowReadResult(read, accounts, TResult::Accounts);
}

void TForm2::BTranzClick() {
  if (SA == nullptr) return;
  const TBusyWait wait(*this);
  XDStart.SetTimeOfDayFrom(XTStart.DateTime());
  XDEnd.SetTimeOfDayFrom(XTEnd.DateTime());
  const TDateTime start = XDStart.DateTime();
  const TDateTime end = XDEnd.DateTime();
  TRecordsText transactions;
  const bool read = ReadRecords(
      [&](const TKestrava_2::TRecordSink& keep) { return SA->GetTranzactii(start, end, 0, keep); },
      transactions);
  ShowReadResult(read, transactions, TResult::Transactions);
}

bool TForm2::ReadRecords(const std::function<bool(const TKestrava_2::TRecordSink&)>& read,
                         TRecordsText& records) {
  // Between pages the window repaints too, so a long export does not
  // leave it looking dead, and shows how far it got.
  SA->Settings().OnPage = [this, &records](int pagesRead, int totalPages) {
    records.ExpectPages(pagesRead, totalPages);
    Memo1.SetProgress(pagesRead, totalPages);
    RepaintWhileBusy();
  };
  // A break-off asked for between two pages ends the export there.
  const TKestrava_2::TRecordSink keep = [this, &records](const TJSONArray& page) {
    records.Add(page);
    return cancel_ == TCancel::None;
  };
  bool done = false;
  try {
    done = read(keep);
  } catch (...) {
    SA->Settings().OnPage = nullptr;
    throw;
  }
  SA->Settings().OnPage = nullptr;
  return done;
}

void TForm2::ShowReadResult(bool read, TRecordsText& records, TResult result) {
  Memo1.ClearProgress();
  if (!read) {
    records = TRecordsText();
    Memo1.SetUtf8Text(cancel_ == TCancel::None ? SA->MesajEroare() : kCancelledText);
    SetShownResult(TResult::None);
    return;
  }
  Memo1.SetContent(records.Finish());
  SetShownResult(result);
}

void TForm2::SetShownResult(TResult result) {
  shownResult_ = result;
  // A token line added afterwards is no part of the result.
  resultSize_ = result == TResult::None ? 0 : Memo1.Content().Size();
  saveAction_.setEnabled(result != TResult::None);
}

void TForm2::SetSaveDialog(TSaveDialog* dialog) noexcept {
  saveDialog_ = dialog != nullptr ? dialog : &qtSaveDialog_;
}

void TForm2::SaveAs() {
  if (!CanSave()) return;
  const bool transactions = shownResult_ == TResult::Transactions;
  const QString name = transactions ? QStringLiteral("transactions") : QStringLiteral("accounts");
  const QString folder = saveFolder_.isEmpty() ? QDir::homePath() : saveFolder_;
  const std::optional<TSaveChoice> choice =
      saveDialog_->Ask({this, folder, name + QLatin1Char('.') + SuffixOf(saveType_), saveType_});
  if (!choice || choice->path.isEmpty()) return;
  const TSaveType type = SaveTypeOf(choice->path, choice->type);
  saveFolder_ = QFileInfo(choice->path).absolutePath();
  saveType_ = type;

  const std::string_view shown = std::string_view(Memo1.Utf8Text()).substr(0, resultSize_);
  TSaveOutcome outcome;
  {
    const TBusyWait wait(*this);
    outcome =
        SaveResult(shown, type, name.toStdString(), QFile::encodeName(choice->path).toStdString(),
                   [this](std::size_t done, std::size_t total) {
                     // In MiB, so that the bar's counts fit an int.
                     Memo1.SetProgress(static_cast<int>(done >> 20),
                                       static_cast<int>(std::max<std::size_t>(total >> 20, 1)));
                     return GoOn();
                   });
  }
  if (outcome.kind == TSaveOutcome::TKind::Failed) {
    messageBoxes_.Show(
        {this, ApplicationTitle(),
         QStringLiteral("Cannot save %1: %2")
             .arg(QDir::toNativeSeparators(choice->path), QString::fromStdString(outcome.why)),
         TMessageBoxIcon::Error});
  } else if (outcome.kind == TSaveOutcome::TKind::Cancelled && cancel_ == TCancel::Operator) {
    ShowMessage(kCancelledText);
  }
}

bool TForm2::GoOn() {
  RepaintWhileBusy();
  return cancel_ == TCancel::None;
}

void TForm2::RepaintWhileBusy() {
  if (sinceRepaint_.isValid() && sinceRepaint_.elapsed() < kRepaintInterval.count()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  sinceRepaint_.start();
}

}  // namespace kestrava
