// The buffer contract helpers of the conversion entry points.
#include "answer_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirelka {
namespace {

TEST(BufferContract, ReadInputStopsAtNulOrSize) {
  const char text[] = {'a', 'b', 'c', 'd', 'e'};  // no NUL at all
  EXPECT_EQ(ReadInput(text, 5), "abcde");
  EXPECT_EQ(ReadInput(text, 3), "abc");
  EXPECT_EQ(ReadInput(text, 0), "");
  const char early[] = {'x', 0, 'y', 'z'};
  EXPECT_EQ(ReadInput(early, 4), "x");
}

// Writes into a buffer with guard bytes after buf[size] and checks them.
struct Written {
  uint16_t code;
  std::string text;
  bool guardsIntact;
};

Written Write(int32_t size, const Outcome& outcome) {
  std::vector<char> buf(static_cast<size_t>(size) + 1 + 16, '\x5A');
  const uint16_t code = WriteOutcome(buf.data(), size, outcome);
  bool intact = true;
  for (size_t i = static_cast<size_t>(size) + 1; i < buf.size(); ++i) intact = intact && buf[i] == '\x5A';
  const size_t length = std::string(buf.data(), static_cast<size_t>(size) + 1).find('\0');
  return {code, length == std::string::npos ? "<no NUL>" : std::string(buf.data(), length), intact};
}

TEST(BufferContract, WriteOutcomeTable) {
  const std::string noRoom = reason::kNoRoom;
  const std::string unknown = reason::kNameUnknown;
  const struct {
    const char* what;
    int32_t size;
    Outcome outcome;
    uint16_t code;
    std::string text;
  } cases[] = {
      {"fits exactly", 9, {kOk, "127.0.0.1"}, kOk, "127.0.0.1"},
      {"room to spare", 255, {kOk, "10.0.0.1"}, kOk, "10.0.0.1"},
      {"success one byte too long", 8, {kOk, "127.0.0.1"}, kNoRoom, noRoom.substr(0, 8)},
      {"success into size 0", 0, {kOk, "1.2.3.4"}, kNoRoom, ""},
      {"reason cut before a lead byte", 3, {kNotFound, unknown}, kNotFound, unknown.substr(0, 2)},
      {"reason in full", 64, {kNotFound, unknown}, kNotFound, unknown},
      {"empty success", 0, {kOk, ""}, kOk, ""},
  };
  for (const auto& c : cases) {
    const Written w = Write(c.size, c.outcome);
    EXPECT_EQ(w.code, c.code) << c.what;
    EXPECT_EQ(w.text, c.text) << c.what;
    EXPECT_TRUE(w.guardsIntact) << c.what;
  }
}

TEST(BufferContract, NoBufferOrNegativeSizeIsFailure) {
  EXPECT_NE(WriteOutcome(nullptr, 10, Outcome{kOk, "x"}), kOk);
  char one = '\x5A';
  EXPECT_NE(WriteOutcome(&one, -1, Outcome{kOk, "x"}), kOk);
  EXPECT_EQ(one, '\x5A');
}

}  // namespace
}  // namespace mirelka
