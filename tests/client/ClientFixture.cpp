#include "tests/client/ClientFixture.h"

#include <string>

namespace kestrava::testing {

std::string PageBody(std::string_view totalPagesJson, std::vector<int> ids) {
  std::string body = "{";
  if (!totalPagesJson.empty()) body += "\"totalPages\":" + std::string(totalPagesJson) + ",";
  body += "\"result\":[";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) body += ",";
    body += "{\"id\":" + std::to_string(ids[i]) + ",\"amount\":\"12.50\"}";
  }
  body += "]}";
  return body;
}

void ClientTest::SetUpTestSuite() {
  TrustTestCa();
}

void ClientTest::SetUp() {
  server = std::make_unique<ScriptedServer>();
  SetServiceHost(server->HostPort());
}

std::unique_ptr<TKestrava_2> ClientTest::NewClient(std::string_view id, std::string_view secret,
                                                   int tipMediu) {
  return std::make_unique<TKestrava_2>(id, secret, tipMediu);
}

std::vector<int> ClientTest::Ids(const TJSONArray& array) {
  std::vector<int> ids;
  for (std::size_t i = 0; i < array.Count(); ++i) {
    ids.push_back(std::stoi(array.Get(i)->GetValue("id", "-1")));
  }
  return ids;
}

}  // namespace kestrava::testing
