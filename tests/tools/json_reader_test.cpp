#include "json_reader.h"

#include <string>

#include <gtest/gtest.h>

namespace fsrank_cli {
namespace {

TEST(JsonReader, ReadsValuesAndDecodesEscapes) {
  const Json doc = ParseJson(
      "{\"a\": [1, -2.5e1, true, false, null], \"s\": \"q\\\"\\\\\\/\\n\\u00e4\\ud83d\\ude00\"}");
  ASSERT_EQ(doc["a"].items.size(), 5u);
  EXPECT_EQ(doc["a"][1].number, -25.0);
  EXPECT_TRUE(doc["a"][2].boolean);
  EXPECT_EQ(doc["a"][3].kind, Json::kBool);
  EXPECT_FALSE(doc["a"][3].boolean);
  EXPECT_TRUE(doc["a"][4].IsNull());
  EXPECT_EQ(doc["s"].text, "q\"\\/\n\xC3\xA4\xF0\x9F\x98\x80");
  EXPECT_TRUE(doc["absent"].IsNull());
}

TEST(JsonReader, FaultsNameTheirPlace) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "line 1, column 1: expected a value"},
      {"{\"a\": 1,\n \"b\" 2}", "line 2, column 6: expected ':'"},
      {"[1, 2", "line 1, column 6: expected ']'"},
      {"\"open", "line 1, column 6: the text ends inside a string"},
      {"\"a\nb\"", "line 1, column 3: control character inside a string"},
      {"\"\\ud800x\"", "unpaired surrogate"},
      {"\"\\u12zz\"", "bad \\u escape"},
      {"01", "line 1, column 2: unexpected text after the end of the value"},
      {"1e400", "number out of range"},
      {"-", "expected a value"},
      {"tru", "expected a value"},
      {std::string(200, '['), "nested too deeply"},
  };
  for (const auto& c : cases) {
    try {
      ParseJson(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const JsonError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << c.text << " -> " << e.what();
    }
  }
}

}  // namespace
}  // namespace fsrank_cli
