// The list file's text: path, lines, count rule, sections, and the bytes a
// save produces.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cp932_codec.h"
#include "pclist.h"

namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

std::string NotInteger(const std::string& line) { return "'" + line + "'" + cp932::Text(" は整数ではありません"); }

TEST(ListFilePathTest, ReplacesOrAppendsTheExtensionOfTheFileNameOnly) {
  const struct {
    const char* exe;
    const char* ini;
  } cases[] = {
      {"/opt/mirelka/prog", "/opt/mirelka/prog.ini"},
      {"/opt/mirelka/prog.exe", "/opt/mirelka/prog.ini"},
      {"/a.b/prog", "/a.b/prog.ini"},
      {"/a.b/prog.x.y", "/a.b/prog.x.ini"},
      {"/a/prog.", "/a/prog.ini"},
      {"/a/.hidden", "/a/.hidden.ini"},
      {"/a/.hidden.exe", "/a/.hidden.ini"},
      {"/a/..", "/a/...ini"},
      {"prog.exe", "prog.ini"},
      {"prog", "prog.ini"},
      {"", ".ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(pclist::ListFilePath(c.exe), c.ini) << c.exe;
}

TEST(SplitLinesTest, AcceptsEveryLineEndAndKeepsLinesWhole) {
  const std::string longLine(100000, 'A');
  const struct {
    std::string text;
    Names lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\n", {"a"}},
      {"a\r", {"a"}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"\r\n", {""}},
      {"\n\r", {"", ""}},  // LF then CR: two line ends, not one
      {"a\n\nb", {"a", "", "b"}},
      {"\r\r\n\n", {"", "", ""}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"x\0y\r\n"s, {"x\0y"s}},
      {longLine + "\r\nz", {longLine, "z"}},
  };
  for (const auto& c : cases) EXPECT_EQ(pclist::SplitLines(c.text), c.lines) << c.text.substr(0, 20);
}

TEST(ParseCountTest, AcceptsTheCountForms) {
  const struct {
    const char* line;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {"2", 2},
      {" 2", 2},
      {"   2", 2},
      {"00012", 12},
      {"+7", 7},
      {"-1", -1},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$2", 2},
      {"x2", 2},
      {"X2", 2},
      {"0x2", 2},
      {"0X2", 2},
      {"$ff", 255},
      {"$fF", 255},
      {"0xABCDEF", 0xABCDEF},
      {"$7FFFFFFF", INT32_MAX},
      {"$80000000", INT32_MIN},
      {"$FFFFFFFF", -1},
      {"$000000001", 1},
      {" $10", 16},
  };
  for (const auto& c : cases) {
    const std::optional<int32_t> value = pclist::ParseCount(c.line);
    ASSERT_TRUE(value.has_value()) << c.line;
    EXPECT_EQ(*value, c.value) << c.line;
  }
}

TEST(ParseCountTest, RefusesEverythingElse) {
  // clang-format off
  const std::string refused[] = {
      "", " ", "2 ", "2\t", "\t2", "2\0"s,                         // blanks other than leading spaces
      "a", "two", "2a", "1.5", "1e3", "0b1", "\x82\x4f"s, "１",       // other characters
      "+", "-", "$", "x", "X", "0x", "0X",                           // bare sign or prefix
      "+0x5", "-$5", "$-5", "+-2", "- 2", "$ 2", "0x$", "x0x1", "00x5", "$G",
      "$100000000", "2147483648", "-2147483649", "99999999999999999999"};  // out of range
  // clang-format on
  for (const std::string& line : refused) EXPECT_FALSE(pclist::ParseCount(line).has_value()) << line;
}

struct ParseCase {
  const char* what;
  std::string text;
  Names names;
  std::optional<std::string> failure;
};

TEST(ParseTest, ReadsSectionsByTheRules) {
  const ParseCase cases[] = {
      {"two names", "[WGPCLIST]\r\n2\r\nPC01\r\nSERVER\r\n", {"PC01", "SERVER"}, std::nullopt},
      {"empty list", "[WGPCLIST]\r\n0\r\n", {}, std::nullopt},
      {"empty file", "", {}, std::nullopt},
      {"count with a leading space", "[WGPCLIST]\r\n 2\r\nA\r\nB\r\n", {"A", "B"}, std::nullopt},
      {"count with a trailing space", "[WGPCLIST]\r\n2 \r\nA\r\nB\r\n", {}, NotInteger("2 ")},
      {"letters for a count", "[WGPCLIST]\r\nzwei\r\nA\r\n", {}, NotInteger("zwei")},
      {"section line last", "[WGPCLIST]\r\n", {}, NotInteger("")},
      {"section line last, no line end", "junk\r\n[WGPCLIST]", {}, NotInteger("")},
      {"empty count line", "[WGPCLIST]\r\n\r\nA\r\n", {}, NotInteger("")},
      {"$2", "[WGPCLIST]\r\n$2\r\nA\r\nB\r\nC\r\n", {"A", "B"}, std::nullopt},
      {"x2", "[WGPCLIST]\r\nx2\r\nA\r\nB\r\nC\r\n", {"A", "B"}, std::nullopt},
      {"X2", "[WGPCLIST]\r\nX2\r\nA\r\nB\r\nC\r\n", {"A", "B"}, std::nullopt},
      {"0x2", "[WGPCLIST]\r\n0x2\r\nA\r\nB\r\nC\r\n", {"A", "B"}, std::nullopt},
      {"0X2", "[WGPCLIST]\r\n0X2\r\nA\r\nB\r\nC\r\n", {"A", "B"}, std::nullopt},
      {"negative count, next section read", "[WGPCLIST]\r\n-3\r\n[WGPCLIST]\r\n1\r\nA\r\n", {"A"}, std::nullopt},
      {"count 0, next section read", "[WGPCLIST]\r\n0\r\n[WGPCLIST]\r\n1\r\nA\r\n", {"A"}, std::nullopt},
      {"scanning resumes after the last name",
       "[WGPCLIST]\r\n1\r\n[WGPCLIST]\r\n1\r\nA\r\n",
       {"[WGPCLIST]"},
       std::nullopt},
      {"lower-case section", "[wgpclist]\r\n2\r\nA\r\nB\r\n", {}, std::nullopt},
      {"space before the section", " [WGPCLIST]\r\n2\r\nA\r\nB\r\n", {}, std::nullopt},
      {"space after the section", "[WGPCLIST] \r\n2\r\nA\r\nB\r\n", {}, std::nullopt},
      {"two sections in file order",
       "head\r\n[WGPCLIST]\r\n2\r\nB\r\nA\r\nbetween\r\n[WGPCLIST]\r\n1\r\nC\r\ntail\r\n",
       {"B", "A", "C"},
       std::nullopt},
      {"three promised, two given", "[WGPCLIST]\r\n3\r\nA\r\nB\r\n", {"A", "B", ""}, std::nullopt},
      {"three promised, two given, no final line end", "[WGPCLIST]\r\n3\r\nA\r\nB", {"A", "B", ""}, std::nullopt},
      {"count with nothing after it", "[WGPCLIST]\r\n2", {"", ""}, std::nullopt},
      {"LF only", "[WGPCLIST]\n2\nPC01\nSERVER\n", {"PC01", "SERVER"}, std::nullopt},
      {"CR only", "[WGPCLIST]\r2\rPC01\rSERVER\r", {"PC01", "SERVER"}, std::nullopt},
      {"mixed line ends", "[WGPCLIST]\r2\nPC01\r\nSERVER", {"PC01", "SERVER"}, std::nullopt},
      {"a name reading as a section line", "[WGPCLIST]\r\n2\r\n[WGPCLIST]\r\n5\r\n", {"[WGPCLIST]", "5"}, std::nullopt},
      {"names before a failing section stay",
       "[WGPCLIST]\r\n1\r\nA\r\n[WGPCLIST]\r\nmany\r\n[WGPCLIST]\r\n1\r\nB\r\n",
       {"A"},
       NotInteger("many")},
      {"failing count keeps its bytes",
       "[WGPCLIST]\r\n\x83\x65\x83\x58\x83\x67 \r\n",
       {},
       NotInteger("\x83\x65\x83\x58\x83\x67 ")},
      {"empty names", "[WGPCLIST]\r\n2\r\n\r\n\r\n", {"", ""}, std::nullopt},
  };
  for (const ParseCase& c : cases) {
    const pclist::ParseResult result = pclist::Parse(c.text);
    EXPECT_EQ(result.names, c.names) << c.what;
    EXPECT_EQ(result.failure ? std::optional(result.failure->text) : std::nullopt, c.failure) << c.what;
    if (result.failure) {
      EXPECT_EQ(result.failure->code, pclist::kBadCount) << c.what;
    }
  }
}

TEST(ParseTest, BoundsTheRowsPromisedPastTheEnd) {
  const pclist::ParseResult huge = pclist::Parse("[WGPCLIST]\r\n2147483647\r\nA\r\n");
  EXPECT_FALSE(huge.failure);
  ASSERT_EQ(huge.names.size(), 1u + pclist::kMaxMissingRows);
  EXPECT_EQ(huge.names.front(), "A");
  EXPECT_EQ(huge.names.back(), "");

  // Rows that exist in the file never count against the bound.
  const std::string text = "[WGPCLIST]\r\n2\r\nA\r\nB\r\n[WGPCLIST]\r\n$7FFFFFFF\r\n";
  const pclist::ParseResult both = pclist::Parse(text);
  EXPECT_EQ(both.names.size(), 2u + pclist::kMaxMissingRows);

  const int32_t justUnder = pclist::kMaxMissingRows;
  const pclist::ParseResult exact = pclist::Parse("[WGPCLIST]\r\n" + std::to_string(justUnder) + "\r\n");
  EXPECT_EQ(exact.names.size(), static_cast<size_t>(justUnder));
}

TEST(ParseTest, CountsReachingExactlyTheEndLeaveNothingMissing) {
  Names names;
  std::string text = "[WGPCLIST]\r\n20000\r\n";
  for (int k = 0; k < 20000; ++k) {
    names.push_back("N" + std::to_string(k));
    text += names.back() + "\r\n";
  }
  EXPECT_EQ(pclist::Parse(text).names, names);
}

TEST(FormatTest, WritesTheExactBytes) {
  EXPECT_EQ(pclist::Format({}), "[WGPCLIST]\r\n0\r\n");
  EXPECT_EQ(pclist::Format({}).size(), 15u);
  const std::string two = pclist::Format({"PC01", "SERVER"});
  EXPECT_EQ(two, "[WGPCLIST]\r\n2\r\nPC01\r\nSERVER\r\n");
  EXPECT_EQ(two.size(), 29u);
  EXPECT_EQ(pclist::Format({"", ""}), "[WGPCLIST]\r\n2\r\n\r\n\r\n");
  EXPECT_EQ(pclist::Format(Names(12, "A")).substr(0, 16), "[WGPCLIST]\r\n12\r\n");
}

TEST(FormatTest, NamesSurviveASaveAndALoadByteForByte) {
  const Names names = {
      "PC01",
      "\x83\x65\x83\x58\x83\x67\x82\x6f\x82\x62",  // double-byte characters
      "\x95\x5c\x8e\xa6",                          // 0x5C as a trail byte
      "a\\b",
      "\x80",
      "\xff\xfe",
      "\xa0\xfd",
      "LEAD\x82",  // lone lead byte at the end
      "x\0y"s,
      std::string(40, 'W'),
      "[WGPCLIST]",
      "0x10",
      "",
      " padded ",
  };
  const std::string text = pclist::Format(names);
  const pclist::ParseResult back = pclist::Parse(text);
  EXPECT_FALSE(back.failure);
  EXPECT_EQ(back.names, names);
  EXPECT_EQ(pclist::Format(back.names), text);
}

TEST(FormatTest, TwoSectionsAreSavedAsOne) {
  const pclist::ParseResult loaded = pclist::Parse("[WGPCLIST]\r\n1\r\nA\r\nxx\r\n[WGPCLIST]\r\n2\r\nB\r\nC\r\n");
  EXPECT_EQ(pclist::Format(loaded.names), "[WGPCLIST]\r\n3\r\nA\r\nB\r\nC\r\n");
}

}  // namespace
