// NetBIOS resolution against a real nmbd. Run by nmbd_netns.sh inside a
// network namespace it creates, with the peer's name and address in the
// environment; alone it skips.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "mirelka.h"

namespace {

struct Call {
  uint16_t code;
  std::string text;
};

Call Convert(uint16_t (*fn)(char*, int32_t), const std::string& text) {
  std::vector<char> buf(256, '\0');
  std::memcpy(buf.data(), text.data(), std::min(text.size(), size_t{255}));
  const uint16_t code = fn(buf.data(), 255);
  return {code, std::string(buf.data(), strnlen(buf.data(), buf.size()))};
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

class NetbiosPeer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Env("MLK_NB_SKIP").empty()) GTEST_SKIP() << Env("MLK_NB_SKIP");
    name_ = Env("MLK_NB_NAME");
    address_ = Env("MLK_NB_ADDR");
    if (name_.empty() || address_.empty()) GTEST_SKIP() << "no peer given: run through nmbd_netns.sh";
    // nmbd answers once it has registered its names; wait for that, bounded.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Convert(nametoip, name_).code != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  std::string name_;
  std::string address_;
};

TEST_F(NetbiosPeer, LowerCaseNameResolvesByBroadcast) {
  const Call call = Convert(nametoip, name_);
  EXPECT_EQ(call.code, 0) << call.text;
  EXPECT_EQ(call.text, address_);
}

TEST_F(NetbiosPeer, AddressGivesTheComputerName) {
  std::string upper = name_;
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  const Call call = Convert(iptoname, address_);
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, upper);
}

TEST_F(NetbiosPeer, ConnectByNameFindsTheHostUp) {
  init();
  const Call call = Convert(connectpc, name_);
  EXPECT_EQ(call.code, 0);
  EXPECT_EQ(call.text, address_);
  EXPECT_GE(pingresult(), 0);
}

TEST_F(NetbiosPeer, UnknownNameAndGroupNameAreNotFound) {
  EXPECT_NE(Convert(nametoip, "mlknobody").code, 0);
  // The workgroup name is a group name: it is no computer's address.
  const std::string workgroup = Env("MLK_NB_WORKGROUP");
  if (!workgroup.empty()) {
    EXPECT_NE(Convert(nametoip, workgroup).code, 0);
  }
}

}  // namespace
