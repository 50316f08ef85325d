#include "base/HeaderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrava {
namespace {

using Fields = std::vector<HeaderList::Field>;

// A head as servers send them: a name twice in two spellings, an empty
// value, a name that another name starts with, and a name with a byte
// above U+007F.
HeaderList Head() {
  return {{"Set-Cookie", "a=1"},   {"Accept-Charset", "UTF-8"}, {"X-Empty", ""},
          {"set-COOKIE", "b=2"},   {"Accept", "*/*"},           {"X-\xC9t\xE9", "latin"},
          {"Content-Type", "json"}};
}

TEST(HeaderList, LookupMatchesWholeNamesInAnyLetterCaseAndTakesTheFirst) {
  const HeaderList head = Head();
  struct Case {
    const char* name;
    const char* value;  // of the first field, nullptr for none
    std::size_t count;
  } cases[] = {
      {"set-cookie", "a=1", 2},    {"SET-COOKIE", "a=1", 2},
      {"accept", "*/*", 1},        {"Accept-charset", "UTF-8", 1},
      {"Accept-", nullptr, 0},     {"Content-Type ", nullptr, 0},
      {"x-empty", "", 1},          {"X-\xC9T\xC9", nullptr, 0},  // no case outside A to Z
      {"X-\xC9t\xE9", "latin", 1}, {"", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string* found = head.Find(c.name);
    ASSERT_EQ(found != nullptr, c.value != nullptr);
    if (found != nullptr) {
      EXPECT_EQ(*found, c.value);
    }
    EXPECT_EQ(head.Value(c.name), c.value == nullptr ? "" : c.value);
    EXPECT_EQ(head.Has(c.name), c.value != nullptr);
    EXPECT_EQ(head.Count(c.name), c.count);
  }
  // An empty value is a field all the same.
  EXPECT_TRUE(head.Has("X-EMPTY"));
  EXPECT_FALSE(HeaderList().Has("Accept"));
}

TEST(HeaderList, RemoveTakesEveryFieldOfTheNameAndKeepsTheOrderOfTheRest) {
  HeaderList head = Head();
  EXPECT_EQ(head.Remove("SET-cookie"), 2u);
  EXPECT_EQ(head, (Fields{{"Accept-Charset", "UTF-8"},
                          {"X-Empty", ""},
                          {"Accept", "*/*"},
                          {"X-\xC9t\xE9", "latin"},
                          {"Content-Type", "json"}}));
  EXPECT_EQ(head.Remove("Set-Cookie"), 0u);
  EXPECT_EQ(head.Remove("Accept"), 1u);  // not Accept-Charset
  EXPECT_EQ(head.Value("Accept-Charset"), "UTF-8");
  EXPECT_EQ(head.size(), 4u);
}

TEST(HeaderList, SetLeavesOneFieldAtTheEndUnderTheNewSpelling) {
  HeaderList head = Head();
  head.Set("SET-COOKIE", "c=3");
  EXPECT_EQ(head, (Fields{{"Accept-Charset", "UTF-8"},
                          {"X-Empty", ""},
                          {"Accept", "*/*"},
                          {"X-\xC9t\xE9", "latin"},
                          {"Content-Type", "json"},
                          {"SET-COOKIE", "c=3"}}));
  head.Set("Authorization", "Bearer t");  // a new name is appended
  head.Set("accept", "");
  EXPECT_EQ(head.Count("Accept"), 1u);
  EXPECT_EQ(head[head.size() - 2], (HeaderList::Field{"Authorization", "Bearer t"}));
  EXPECT_EQ(head[head.size() - 1], (HeaderList::Field{"accept", ""}));
}

TEST(HeaderList, AddKeepsDuplicatesInTheOrderAdded) {
  HeaderList head;
  head.Add("Via", "1.1 a");
  head.Add("via", "1.1 b");
  head.Add("Via", "1.1 a");  // the same field again is a field again
  EXPECT_EQ(head.Count("VIA"), 3u);
  EXPECT_EQ(head.Value("via"), "1.1 a");
  EXPECT_EQ(head, (Fields{{"Via", "1.1 a"}, {"via", "1.1 b"}, {"Via", "1.1 a"}}));
  EXPECT_NE(head, (Fields{{"via", "1.1 b"}, {"Via", "1.1 a"}, {"Via", "1.1 a"}}));
  head.clear();
  EXPECT_TRUE(head.empty());
}

}  // namespace
}  // namespace kestrava
