#pragma once

// The real window, signed in against the scripted TLS server on 127.0.0.1,
// with its message boxes answered by a recording presenter.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/Application.h"
#include "app/Main.h"
#include "tests/app/RecordingPresenter.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ServicePaths.h"
#include "tests/support/ServiceReplies.h"

namespace kestrava::testing {

TKestravaApplication& App();

// A page of the transaction export with records {"id":N,"amount":12.50}.
std::string PageBody(int totalPages, const std::vector<int>& ids);

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Queues the reply and presses "Login" as the operator does.
  void Login(const std::string& reply);
  void Click(QPushButton& button);
  // The query of the n-th request received.
  std::string Target(std::size_t n) const;

  std::unique_ptr<ScriptedServer> server;
  TRecordingPresenter presenter;
  std::unique_ptr<TForm2> form;
};

}  // namespace kestrava::testing
