// The connection watch's rule without a window: what reaches the library on
// each check, and that a tick frees the next one however it ended.
#include "watch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace netlib {
namespace {

std::vector<std::string> calls;  // what the library saw, in order

int32_t MIRELKA_CALL Init() {
  calls.emplace_back("init");
  return 0;
}

uint16_t Write(char* buffer, int32_t size, const char* text, uint16_t result) {
  calls.push_back("connectpc:" + std::string(buffer, strnlen(buffer, static_cast<size_t>(size))));
  std::strncpy(buffer, text, static_cast<size_t>(size));
  return result;
}
uint16_t MIRELKA_CALL Answers(char* buffer, int32_t size) { return Write(buffer, size, "10.0.0.9", 0); }
uint16_t MIRELKA_CALL Silent(char* buffer, int32_t size) { return Write(buffer, size, "no answer", 5); }

class Unloadable final : public DynamicLibrary {
 public:
  base::Result<void*> Load(const char*) override { return base::Failure{1, "not loaded"}; }
  void* Find(void*, const char*) override { return nullptr; }
  void Free(void*) override {}
};

class Watch : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    library.init = &Init;
    library.connectpc = &Silent;
  }
  Unloadable loader;
  CompanionLibrary library{loader};
  ConnectionWatch watch{library};
};

TEST_F(Watch, EachCheckClearsTheLastOneAndSendsTheCaptionWithoutBackslashes) {
  static_cast<void>(watch.Check("\\\\PC01"));
  static_cast<void>(watch.Check("\\\\\x95\x5C"));  // 表, whose second byte is 0x5C
  EXPECT_EQ(calls, (std::vector<std::string>{"init", "connectpc:PC01", "init", "connectpc:\x95\x5C"}));
}

TEST_F(Watch, ATickIsDroppedUntilTheLastEndsAndOnlyAnAnswerStopsTheWatch) {
  ASSERT_TRUE(watch.BeginTick());
  EXPECT_FALSE(watch.BeginTick());
  watch.AbandonTick();  // nothing was selected, say
  ASSERT_TRUE(watch.BeginTick());
  EXPECT_FALSE(watch.EndTick(watch.Check("PC01")));
  ASSERT_TRUE(watch.BeginTick());
  library.connectpc = &Answers;
  EXPECT_TRUE(watch.EndTick(watch.Check("PC01")));
}

}  // namespace
}  // namespace netlib
