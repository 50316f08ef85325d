#include <gtest/gtest.h>

#include "tests/app/QtPrinters.h"

#include <sys/stat.h>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/ArrayElements.h"
#include "app/ResultFile.h"
#include "app/SaveDialog.h"
#include "tests/app/WindowFixture.h"
#include "tests/cli/Process.h"
#include "tests/support/Workbook.h"

namespace kestrava::testing {
namespace {

namespace fs = std::filesystem;

// Answers "Save As…" with a path and a type, and counts the questions.
class TAnsweringDialog final : public TSaveDialog {
 public:
  std::optional<TSaveChoice> Ask(const TSaveRequest& request) override {
    requests.push_back(request);
    return answer;
  }
  std::optional<TSaveChoice> answer;
  std::vector<TSaveRequest> requests;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What kestrava-cli writes for a JSON array of records in a format.
std::string CliFormat(const std::string& records, const std::string& format,
                      const fs::path& output = {}) {
  std::vector<std::string> argv = {KESTRAVA_CLI_PATH, "--format", format};
  if (!output.empty()) argv.insert(argv.end(), {"--output", output.string()});
  argv.emplace_back("format");
  const ProcessResult result = RunProcess(argv, {}, records);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  return result.out;
}

// Records that a reader of element texts could trip on: brackets, commas
// and quotation marks inside strings, escapes, nesting, exact numbers,
// duplicate names, text beyond ASCII, and records that are no objects.
const char* const kPageOne =
    R"({"totalPages":2,"result":[{"id":1,"amount":12.50,"note":"a, \"b\" ] [ } {"},)"
    R"({"id":2,"amount":-0.10,"note":"back\\slash\\","nested":{"a":[1,{"b":null}],"c":true}},)"
    R"({"id":3,"amount":1e400,"id":"again","note":"Plat\u0103 \u20ac \ud83d\ude00\r\nline"}]})";
const char* const kPageTwo =
    R"({"totalPages":2,"result":[{"id":4,"amount":100,"empty":{},"list":[]},"a bare text",17]})";
const char* const kAllRecords =
    R"([{"id":1,"amount":12.50,"note":"a, \"b\" ] [ } {"},)"
    R"({"id":2,"amount":-0.10,"note":"back\\slash\\","nested":{"a":[1,{"b":null}],"c":true}},)"
    R"({"id":3,"amount":1e400,"id":"again","note":"Plat\u0103 \u20ac \ud83d\ude00\r\nline"},)"
    R"({"id":4,"amount":100,"empty":{},"list":[]},"a bare text",17])";

class SaveTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->SetSaveDialog(&dialog);
    folder = fs::temp_directory_path() /
             ("kestrava-save-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    fs::remove_all(folder);
    WindowTest::TearDown();
  }

  QAction& SaveAction() { return *form->findChild<QAction*>("save-as"); }

  void ReadTransactions() {
    Login(TokenReply("tok"));
    server->Enqueue(Reply(JsonReply(200, "OK", kPageOne)));
    server->Enqueue(Reply(JsonReply(200, "OK", kPageTwo)));
    Click(form->BTranz);
  }

  // Saves with Ctrl+S, as the operator does, answering the dialog with
  // `path` as `type`.
  void SaveWithKey(const fs::path& path, TSaveType type) {
    dialog.answer = TSaveChoice{QString::fromStdString(path.string()), type};
    QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  }

  // The files of the folder other than those named.
  std::vector<std::string> Strays(const std::vector<std::string>& known) const {
    std::vector<std::string> strays;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (std::find(known.begin(), known.end(), name) == known.end()) strays.push_back(name);
    }
    return strays;
  }

  TAnsweringDialog dialog;
  fs::path folder;
};

TEST_F(SaveTest, IsDisabledUntilAReadSucceedsAndAgainAfterAReadFails) {
  ASSERT_NE(form->findChild<QAction*>("save-as"), nullptr);
  const fs::path file = folder / "out.json";
  // Nothing read: the key asks nothing and writes nothing.
  EXPECT_FALSE(SaveAction().isEnabled());
  SaveWithKey(file, TSaveType::Json);
  EXPECT_TRUE(dialog.requests.empty());

  // A token line is no result either.
  Login(TokenReply("tok"));
  EXPECT_FALSE(SaveAction().isEnabled());
  SaveWithKey(file, TSaveType::Json);
  EXPECT_TRUE(dialog.requests.empty());

  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"iban":"RO1"}]})")));
  Click(form->BAccounts);
  EXPECT_TRUE(SaveAction().isEnabled());

  // A failed read shows its error text: nothing to save.
  server->Enqueue(Reply(JsonReply(500, "Internal Server Error", R"({"error":"down"})")));
  Click(form->BAccounts);
  EXPECT_NE(form->Memo1.Text(), "");
  EXPECT_FALSE(SaveAction().isEnabled());
  SaveWithKey(file, TSaveType::Json);
  EXPECT_TRUE(dialog.requests.empty());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(presenter.shown.empty());
}

TEST_F(SaveTest, TheContextMenuOffersItUnderSelectAllGreyedWithoutAResult) {
  QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(5, 5),
                            form->Memo1.viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(form->Memo1.viewport(), &request);
  auto* menu = form->Memo1.findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  menu->hide();
  std::vector<QString> entries;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) entries.push_back(action->text().section(QLatin1Char('\t'), 0, 0));
  }
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].remove(QLatin1Char('&')), "Select All");
  EXPECT_EQ(entries[2], QString::fromUtf8("Save As\u2026"));
  EXPECT_FALSE(menu->actions().back()->isEnabled());

  ReadTransactions();
  EXPECT_TRUE(menu->actions().back()->isEnabled());
  dialog.answer =
      TSaveChoice{QString::fromStdString((folder / "m.json").string()), TSaveType::Json};
  menu->actions().back()->trigger();
  EXPECT_EQ(ReadFile(folder / "m.json"), form->Memo1.Utf8Text());
}

struct TypeCase {
  const char* name;
  TSaveType type;
  const char* cliFormat;  // none: the shown text itself
};

TEST_F(SaveTest, EachTypeWritesWhatTheCliWritesForTheSameRecords) {
  ReadTransactions();
  ASSERT_TRUE(SaveAction().isEnabled());
  const std::string shown = form->Memo1.Utf8Text();
  ASSERT_NE(shown.find("\r\n"), std::string::npos);

  const TypeCase cases[] = {
      {"t.json", TSaveType::Json, nullptr},
      {"t.csv", TSaveType::Csv, "csv"},
      {"t-excel.csv", TSaveType::CsvExcel, "csv-excel"},
      {"t.ndjson", TSaveType::Ndjson, "ndjson"},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SaveWithKey(folder / c.name, c.type);
    const std::string expected =
        c.cliFormat == nullptr ? shown : CliFormat(kAllRecords, c.cliFormat);
    EXPECT_EQ(ReadFile(folder / c.name), expected);
  }
  // The dialog opened where the last save went, offering the last type.
  ASSERT_EQ(dialog.requests.size(), 4u);
  EXPECT_EQ(dialog.requests[0].fileName, "transactions.json");
  EXPECT_EQ(dialog.requests[3].folder, QString::fromStdString(folder.string()));
  EXPECT_EQ(dialog.requests[3].fileName, "transactions.csv");
  EXPECT_TRUE(presenter.shown.empty());
  EXPECT_TRUE(Strays({"t.json", "t.csv", "t-excel.csv", "t.ndjson"}).empty());
}

TEST_F(SaveTest, AWorkbookHasTheSheetOfTheReadAndTheCellsTheCliWrites) {
  ReadTransactions();
  SaveWithKey(folder / "t.xlsx", TSaveType::Xlsx);
  CliFormat(kAllRecords, "xlsx", folder / "cli.xlsx");
  const std::string saved = ReadWorkbook((folder / "t.xlsx").string());
  const std::string cli = ReadWorkbook((folder / "cli.xlsx").string());
  ASSERT_EQ(saved.rfind("sheets transactions\n", 0), 0u) << saved;
  ASSERT_EQ(cli.rfind("sheets records\n", 0), 0u) << cli;
  EXPECT_EQ(saved.substr(saved.find('\n')), cli.substr(cli.find('\n')));

  Login(TokenReply("tok"));
  server->Enqueue(Reply(JsonReply(200, "OK", R"({"result":[{"iban":"RO1","balance":3.5}]})")));
  Click(form->BAccounts);
  SaveWithKey(folder / "a.xlsx", TSaveType::Xlsx);
  EXPECT_EQ(dialog.requests.back().fileName, "accounts.xlsx");
  EXPECT_EQ(ReadWorkbook((folder / "a.xlsx").string()).rfind("sheets accounts\n", 0), 0u);
}

TEST_F(SaveTest, TheSuffixTypedWinsOverTheTypePickedAndATokenLineIsNoPartOfTheResult) {
  ReadTransactions();
  const std::string shown = form->Memo1.Utf8Text();
  Login(TokenReply("tok-2"));
  ASSERT_EQ(form->Memo1.Utf8Text(), shown + "\r\ntok-2");
  EXPECT_TRUE(SaveAction().isEnabled());

  SaveWithKey(folder / "x.NDJSON", TSaveType::Json);
  EXPECT_EQ(ReadFile(folder / "x.NDJSON"), CliFormat(kAllRecords, "ndjson"));
  SaveWithKey(folder / "x.json", TSaveType::Csv);
  EXPECT_EQ(ReadFile(folder / "x.json"), shown);
  // csv for Excel is a .csv file too.
  SaveWithKey(folder / "x.csv", TSaveType::CsvExcel);
  EXPECT_EQ(ReadFile(folder / "x.csv"), CliFormat(kAllRecords, "csv-excel"));
  // A name the dialog gave no known suffix: the type picked.
  SaveWithKey(folder / "x.txt", TSaveType::Csv);
  EXPECT_EQ(ReadFile(folder / "x.txt"), CliFormat(kAllRecords, "csv"));
}

TEST_F(SaveTest, ANewFileIsPrivateAndAReplacedOneKeepsItsMode) {
  ReadTransactions();
  const fs::path fresh = folder / "new.csv";
  const mode_t before = ::umask(0);
  SaveWithKey(fresh, TSaveType::Csv);
  ::umask(before);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  const fs::path old = folder / "old.json";
  WriteFile(old, "old");
  ASSERT_EQ(::chmod(old.c_str(), 0644), 0);
  SaveWithKey(old, TSaveType::Json);
  ASSERT_EQ(::stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(ReadFile(old), form->Memo1.Utf8Text());
}

TEST_F(SaveTest, AFailedSaveSaysWhyAndLeavesTheFileAsItWas) {
  Login(TokenReply("tok"));
  // One text longer than a workbook's cell holds.
  const std::string longText(40000, 'x');
  server->Enqueue(
      Reply(JsonReply(200, "OK", R"({"result":[{"id":1,"note":")" + longText + R"("}]})")));
  Click(form->BAccounts);
  ASSERT_TRUE(SaveAction().isEnabled());

  struct FailCase {
    const char* what;
    fs::path path;
    TSaveType type;
    const char* why;  // in the message
  };
  WriteFile(folder / "kept.xlsx", "the old bytes");
  const FailCase cases[] = {
      {"a cell too long", folder / "kept.xlsx", TSaveType::Xlsx, "32767"},
      {"no such folder", folder / "missing" / "a.json", TSaveType::Json,
       "No such file or directory"},
      {"a folder", folder, TSaveType::Json, "Is a directory"},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.what);
    presenter.shown.clear();
    SaveWithKey(c.path, c.type);
    ASSERT_EQ(presenter.shown.size(), 1u);
    const TMessageBoxRequest& box = presenter.shown[0];
    EXPECT_EQ(box.icon, TMessageBoxIcon::Error);
    EXPECT_TRUE(
        box.text.startsWith("Cannot save " + QString::fromStdString(c.path.string()) + ": "))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(QLatin1String(c.why))) << box.text.toStdString();
  }
  EXPECT_EQ(ReadFile(folder / "kept.xlsx"), "the old bytes");
  EXPECT_TRUE(Strays({"kept.xlsx"}).empty());
  // The result is still there to save.
  EXPECT_TRUE(SaveAction().isEnabled());
}

// A save broken off (Escape, or the window closed, while it writes) leaves
// the file as it was in every type, and no temporary file beside it.
TEST_F(SaveTest, ASaveBrokenOffLeavesTheFileAsItWas) {
  ReadTransactions();
  const std::string shown = form->Memo1.Utf8Text();
  for (const TSaveType type :
       {TSaveType::Json, TSaveType::Csv, TSaveType::CsvExcel, TSaveType::Ndjson, TSaveType::Xlsx}) {
    SCOPED_TRACE(SuffixOf(type).toStdString());
    const fs::path file = folder / "kept";
    WriteFile(file, "the old bytes");
    std::size_t asked = 0;
    const TSaveOutcome outcome = SaveResult(shown, type, "transactions", file.string(),
                                            [&](std::size_t done, std::size_t total) {
                                              EXPECT_LE(done, total);
                                              EXPECT_EQ(total, shown.size());
                                              ++asked;
                                              return false;
                                            });
    EXPECT_EQ(outcome.kind, TSaveOutcome::TKind::Cancelled);
    EXPECT_EQ(asked, 1u);
    EXPECT_EQ(ReadFile(file), "the old bytes");
    EXPECT_TRUE(Strays({"kept"}).empty());
  }
}

TEST_F(SaveTest, TheDialogCancelledSavesNothing) {
  ReadTransactions();
  dialog.answer.reset();
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(dialog.requests.size(), 1u);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(presenter.shown.empty());
}

// Qt's own dialog, answered the way an operator would: a name typed
// without a suffix gets the suffix of the type picked.
TEST_F(SaveTest, QtsDialogAddsTheSuffixOfTheTypePicked) {
  form->SetSaveDialog(nullptr);
  ReadTransactions();
  QTimer::singleShot(0, [&] {
    auto* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    auto* files = qobject_cast<QFileDialog*>(box);
    ASSERT_NE(files, nullptr);
    files->setDirectory(QString::fromStdString(folder.string()));
    // The type picked in the list, as a click picks it.
    auto* types = files->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    const int ndjson = types->findText(FilterOf(TSaveType::Ndjson));
    ASSERT_GE(ndjson, 0);
    types->setCurrentIndex(ndjson);
    emit types->activated(ndjson);
    files->selectFile(QStringLiteral("picked"));
    static_cast<QDialog*>(files)->accept();
  });
  QTest::keyClick(form.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(Strays({}), std::vector<std::string>{"picked.ndjson"});
  EXPECT_EQ(ReadFile(folder / "picked.ndjson"), CliFormat(kAllRecords, "ndjson"));
}

TEST(ArrayElementsTest, HandsOutEachElementTextOrSaysTheTextIsNoArray) {
  struct Case {
    const char* text;
    TElementWalk walk;
    std::vector<std::string> elements;
  };
  const Case cases[] = {
      {"[]", TElementWalk::Done, {}},
      {" \r\n[ \r\n ] \r\n", TElementWalk::Done, {}},
      {"[1]", TElementWalk::Done, {"1"}},
      {"[\r\n  {\r\n    \"a\": 1\r\n  },\r\n  2\r\n]",
       TElementWalk::Done,
       {"{\r\n    \"a\": 1\r\n  }", "2"}},
      {R"(["a,]\"", "\\", "\\\"]", [1, [2]], {"x": "}"}])",
       TElementWalk::Done,
       {R"("a,]\"")", R"("\\")", R"("\\\"]")", "[1, [2]]", R"({"x": "}"})"}},
      {"[1,,2]", TElementWalk::Done, {"1", "", "2"}},
      {"", TElementWalk::NotAnArray, {}},
      {"{}", TElementWalk::NotAnArray, {}},
      {"[1, 2", TElementWalk::NotAnArray, {"1"}},
      {R"(["open)", TElementWalk::NotAnArray, {}},
      {"[1]]", TElementWalk::NotAnArray, {"1"}},
      {"[1}]", TElementWalk::NotAnArray, {}},
      {"[] x", TElementWalk::NotAnArray, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<std::string> seen;
    const TElementWalk walk = ForEachElement(c.text, [&](std::string_view element, std::size_t) {
      seen.emplace_back(element);
      return true;
    });
    EXPECT_EQ(walk, c.walk);
    EXPECT_EQ(seen, c.elements);
  }
  int calls = 0;
  EXPECT_EQ(ForEachElement("[1, 2, 3]", [&](std::string_view, std::size_t) { return ++calls < 2; }),
            TElementWalk::Stopped);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kestrava::testing
