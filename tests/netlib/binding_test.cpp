// netlib's binding of the companion library against real shared libraries:
// the built libmirelka.so (mirelka.dll), one lacking entry points, one that
// never ends its output, and one that does not exist, all by bare file name.
#include "companion.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace netlib {
namespace {

class Binding : public ::testing::Test {
 protected:
  std::unique_ptr<DynamicLibrary> dl_ = MakePlatformDynamicLibrary();
};

TEST_F(Binding, RealLibraryLoadsByBareNameWithAllEntryPoints) {
  CompanionLibrary lib(*dl_);
  ASSERT_TRUE(lib.Load(LibraryFileName())) << LibraryFileName();
  EXPECT_NE(lib.LibHandle(), nullptr);
  EXPECT_TRUE(lib.BindEntryPoints().empty());
  ASSERT_NE(lib.nametoip, nullptr);
  ASSERT_NE(lib.init, nullptr);
  ASSERT_NE(lib.pingresult, nullptr);
  EXPECT_NE(lib.iptoname, nullptr);
  EXPECT_NE(lib.connectpc, nullptr);

  ConvBuffer<256> buffer;
  buffer.SetInput("127.0.0.1");
  EXPECT_EQ(Call(lib.nametoip, buffer), 0);
  EXPECT_EQ(buffer.Output(), "127.0.0.1");
  lib.init();
  EXPECT_EQ(lib.pingresult(), -1);

  // The optional export says how: a dotted name is the address, the hosts
  // file counts as DNS. Windows answers localhost itself, with no hosts file
  // entry (a fresh Wine prefix has none either): the system's answer.
  ASSERT_NE(lib.nametoipfrom, nullptr);
  EXPECT_EQ(ResolveName(lib, "127.0.0.1")->source, netinfo::NameSource::kDotted);
  const base::Result<netinfo::ResolvedHost> local = ResolveName(lib, "LocalHost");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->address, "127.0.0.1");
#ifdef _WIN32
  EXPECT_EQ(local->source, netinfo::NameSource::kSystem);
#else
  EXPECT_EQ(local->source, netinfo::NameSource::kDns);
#endif
  // A failure carries the library's code and the reason it wrote.
  const base::Result<netinfo::ResolvedHost> empty = ResolveName(lib, "");
  ASSERT_FALSE(empty);
  EXPECT_EQ(empty.failure().code, MIRELKA_BAD_INPUT);
  EXPECT_EQ(empty.failure().text, "\x93\xfc\x97\xcd\x82\xaa\x8b\xf3\x82\xc5\x82\xb7");  // 入力が空です
  const base::Status unreached = Reaches(lib, "");
  ASSERT_FALSE(unreached);
  EXPECT_EQ(unreached.failure().code, MIRELKA_BAD_INPUT);
  EXPECT_EQ(unreached.failure().text, empty.failure().text);
}

TEST_F(Binding, MissingEntryPointsAreReportedInCheckOrder) {
  CompanionLibrary lib(*dl_);
  ASSERT_TRUE(lib.Load(MIRELKA_PARTIAL_LIB));
  EXPECT_EQ(lib.BindEntryPoints(), (std::vector<std::string>{"init", "connectpc"}));  // never the optional one
  EXPECT_EQ(lib.nametoipfrom, nullptr);
  EXPECT_EQ(lib.init, nullptr);
  EXPECT_EQ(lib.connectpc, nullptr);
  EXPECT_NE(lib.nametoip, nullptr);
  ConvBuffer<16> buffer;
  EXPECT_NE(Call(lib.connectpc, buffer), 0);  // an unbound entry point is a failure, not a crash
}

TEST_F(Binding, MissingLibraryDoesNotLoadAndSaysWhich) {
  CompanionLibrary lib(*dl_);
  const base::Status loaded = lib.Load(MIRELKA_ABSENT_LIB);
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.failure().code, kNotLoaded);
  // The file, then the system's reason in brackets.
  const std::string named = std::string("cannot load ") + MIRELKA_ABSENT_LIB + " (";
  EXPECT_EQ(loaded.failure().text.rfind(named, 0), 0u) << loaded.failure().text;
  EXPECT_GT(loaded.failure().text.size(), named.size() + 1) << loaded.failure().text;
  EXPECT_EQ(loaded.failure().text.back(), ')');
  EXPECT_EQ(lib.LibHandle(), nullptr);
  EXPECT_EQ(lib.BindEntryPoints().size(), kEntryPoints.size());
}

TEST_F(Binding, UnterminatedOutputIsReadToTheBufferEndOnly) {
  CompanionLibrary lib(*dl_);
  ASSERT_TRUE(lib.Load(MIRELKA_NONUL_LIB));
  ASSERT_TRUE(lib.BindEntryPoints().empty());
  ConvBuffer<256> small;
  small.SetInput("PC01");
  EXPECT_EQ(Call(lib.nametoip, small), 0);
  EXPECT_EQ(small.Output(), std::string(256, 'A'));
  ConvBuffer<512> large;
  EXPECT_EQ(Call(lib.connectpc, large), 0);
  EXPECT_EQ(large.Output(), std::string(512, 'A'));
}

TEST(ConvBufferBounds, InputIsCutToLeaveANul) {
  ConvBuffer<8> buffer;
  buffer.SetInput("ABCDEFGHIJKL");
  EXPECT_EQ(buffer.Output(), "ABCDEFG");
  EXPECT_EQ(buffer.data()[7], '\0');
  buffer.SetInput("XY");  // a shorter input leaves no remains of the longer one
  EXPECT_EQ(buffer.Output(), "XY");
  for (int i = 2; i < 8; ++i) EXPECT_EQ(buffer.data()[i], '\0') << i;
  EXPECT_EQ(ConvBuffer<8>::kSizeArg, 7);
}

}  // namespace
}  // namespace netlib
