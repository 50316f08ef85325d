#include "tests/store/StoreFixture.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>


#include "store/RecordKey.h"

namespace kestrava::testing {

std::string Checksum(const std::string& path) {
  return store::Sha256Hex(ReadWhole(path));
}

std::string Sqlite3(const std::string& db, const std::string& sql) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    dup2(ends[1], STDOUT_FILENO);
    dup2(ends[1], STDERR_FILENO);
    execl("/usr/bin/sqlite3", "sqlite3", "-batch", "-readonly", db.c_str(), sql.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return out;
}

std::unique_ptr<TJSONArray> Page(std::string_view json) {
  std::unique_ptr<TJSONArray> page = AsJSONArray(ParseJSONValue(json));
  EXPECT_NE(page, nullptr) << json;
  return page ? std::move(page) : std::make_unique<TJSONArray>();
}

std::string Tx(std::string_view id, std::string_view when, int account, std::string_view more) {
  return R"({"transactionId":")" + std::string(id) + R"(","accountId":)" + std::to_string(account) +
         R"(,"bookingDate":")" + std::string(when) + "\"" + std::string(more) + "}";
}

std::string Join(const std::vector<std::string>& records) {
  std::string text = "[";
  for (const std::string& record : records) text += (text.size() > 1 ? "," : "") + record;
  return text + "]";
}

TDateTime At(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  return EncodeDateTime(year, month, day, hour, minute, second, millisecond);
}

std::vector<std::string> History(store::TStore& store, const store::TSource& source,
                                 const store::THistoryQuery& query) {
  std::vector<std::string> texts;
  store.History(source, query, [&](std::string_view text) {
    texts.emplace_back(text);
    return true;
  });
  return texts;
}

std::vector<std::string> LatestAccounts(store::TStore& store, const store::TSource& source) {
  std::vector<std::string> texts;
  store.LatestAccounts(source, [&](std::string_view text) {
    texts.emplace_back(text);
    return true;
  });
  return texts;
}

std::unique_ptr<store::TStore> StoreTest::Open(bool create) {
  return store::OpenStore({.Path = path, .Create = create});
}

store::TSyncCounts StoreTest::Sync(store::TStore& store, const std::vector<std::string>& pages,
                                   store::TTimeRange range, int account,
                                   const store::TSource* from) {
  const std::unique_ptr<store::TSyncSession> session =
      store.BeginSync(from ? *from : source, range, account);
  for (const std::string& page : pages) session->AddPage(*Page(page));
  session->Succeed();
  return session->Counts();
}

}  // namespace kestrava::testing
