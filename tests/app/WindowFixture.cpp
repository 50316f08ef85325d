#include "tests/app/WindowFixture.h"

#include <QTest>

#include "client/Kestrava2Intf.h"

namespace kestrava::testing {

TKestravaApplication& App() {
  return *static_cast<TKestravaApplication*>(qApp);
}

std::string PageBody(int totalPages, const std::vector<int>& ids) {
  std::string body = "{\"totalPages\":" + std::to_string(totalPages) + ",\"result\":[";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) body += ",";
    body += "{\"id\":" + std::to_string(ids[i]) + ",\"amount\":12.50}";
  }
  return body + "]}";
}

void WindowTest::SetUpTestSuite() {
  TrustTestCa();
}

void WindowTest::SetUp() {
  server = std::make_unique<ScriptedServer>();
  SetServiceHost(server->HostPort());
  App().SetMessageBoxPresenter(&presenter);
  form = std::make_unique<TForm2>(presenter);
  App().SetMainWindow(form.get());
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

void WindowTest::TearDown() {
  App().SetMainWindow(nullptr);
  form.reset();
  App().SetMessageBoxPresenter(nullptr);
}

void WindowTest::Login(const std::string& reply) {
  server->Enqueue(Reply(reply));
  Click(form->btn1);
}

void WindowTest::Click(QPushButton& button) {
  QTest::mouseClick(&button, Qt::LeftButton);
}

std::string WindowTest::Target(std::size_t n) const {
  const auto requests = server->Requests();
  return n < requests.size() ? requests[n].target : std::string();
}

}  // namespace kestrava::testing
