#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/Kestrava2Intf.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/ServicePaths.h"
#include "tests/support/ServiceReplies.h"

namespace kestrava::testing {

// One page of a transaction export: "totalPages" written as given (raw JSON
// or omitted when empty) and records with the given ids.
std::string PageBody(std::string_view totalPagesJson, std::vector<int> ids);

// A scripted TLS server that the client reaches as its service host.
class ClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  void SetUp() override;

  // Signs in against the next enqueued reply.
  std::unique_ptr<TKestrava_2> NewClient(std::string_view id = "id-1",
                                         std::string_view secret = "secret-1", int tipMediu = 1);
  // The ids ("id" members) of the array's elements, in order.
  static std::vector<int> Ids(const TJSONArray& array);

  std::unique_ptr<ScriptedServer> server;
};

}  // namespace kestrava::testing
