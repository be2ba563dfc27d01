#include "netresources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "cp932_codec.h"
#include "fake_provider.h"

namespace {

using fakes::FakeProvider;
using netinfo::EnumNetResources;
using netinfo::FindWorkgroupName;
using netinfo::ResourceList;
using Listed = base::Result<ResourceList>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kNet = "Microsoft Windows Network";

TEST(EnumNetResources, ListsChildrenInOrderWithBackslashesAndDuplicates) {
  FakeProvider p;
  p.Add("\\\\PC01", {"\\\\PC01\\DATA", "\\\\PC01\\B", "\\\\PC01\\DATA"});
  const Listed list = EnumNetResources(p, "\\\\PC01", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, ElementsAre("\\\\PC01\\DATA", "\\\\PC01\\B", "\\\\PC01\\DATA"));
  EXPECT_EQ(p.openHandles(), 0);
}

TEST(EnumNetResources, SendsTheContainerRequestOfTheTable) {
  FakeProvider p;
  p.Add("WG", {});
  const Listed list = EnumNetResources(p, "WG", kNet);
  ASSERT_TRUE(list);
  ASSERT_EQ(p.requests().size(), 1u);
  const fakes::OpenRequest& r = p.requests()[0];
  EXPECT_EQ(r.scope, 2u);
  EXPECT_EQ(r.type, 0u);
  EXPECT_EQ(r.usage, 0u);
  EXPECT_EQ(r.container.dwScope, 2u);
  EXPECT_EQ(r.container.dwType, 0u);
  EXPECT_EQ(r.container.dwDisplayType, 1u);
  EXPECT_EQ(r.container.dwUsage, 2u);
  EXPECT_EQ(r.container.lpLocalName, nullptr);
  EXPECT_EQ(r.container.lpComment, nullptr);
  EXPECT_EQ(r.remoteName, "WG");
  EXPECT_EQ(r.provider, kNet);
}

TEST(EnumNetResources, EmptyNamesReachTheProviderAsEmptyTextsNotNull) {
  FakeProvider p;
  p.Add("", {"WORKGROUP"});
  const Listed list = EnumNetResources(p, "", "");
  ASSERT_TRUE(list);
  ASSERT_TRUE(FindWorkgroupName(p, 255));
  ASSERT_EQ(p.requests().size(), 2u);
  for (const auto& r : p.requests()) {
    EXPECT_TRUE(r.remoteNameNonNull);
    EXPECT_TRUE(r.providerNonNull);
    EXPECT_EQ(r.remoteName, "");
  }
  EXPECT_EQ(p.requests()[0].provider, "");
  EXPECT_EQ(p.requests()[1].provider, kNet);
}

TEST(EnumNetResources, EmptyWorkgroupSendsExactlyTheWorkgroupRequest) {
  FakeProvider p;
  p.Add("", {"A", "B"});
  const Listed list = EnumNetResources(p, "", kNet);
  ASSERT_TRUE(list);
  ASSERT_TRUE(FindWorkgroupName(p, 255));
  const auto& a = p.requests()[0];
  const auto& b = p.requests()[1];
  EXPECT_EQ(std::tie(a.scope, a.type, a.usage, a.remoteName, a.provider, a.container.dwDisplayType),
            std::tie(b.scope, b.type, b.usage, b.remoteName, b.provider, b.container.dwDisplayType));
  EXPECT_THAT(*list, ElementsAre("A", "B"));
}

TEST(EnumNetResources, CountAndSizeAreSetOnceAndNotReset) {
  // A provider that shrinks both in/out values on every answer.
  FakeProvider p;
  auto shrink = [](uint32_t* count, void* buffer, uint32_t* size) {
    netinfo::NetResource f;
    const uint32_t r = netinfo::WriteRecord(f, nullptr, "X", nullptr, nullptr, buffer, size);
    *count = 7;
    *size -= 100;
    return r;
  };
  p.AddCustom("C", {shrink, shrink, shrink});
  const Listed list = EnumNetResources(p, "C", "");
  ASSERT_TRUE(list);
  ASSERT_EQ(p.enumInputs().size(), 4u);
  // Each call gets what the one before wrote back, starting from one record.
  const uint32_t first = p.enumInputs()[0].second;
  EXPECT_EQ(p.enumInputs()[0].first, 1u);
  EXPECT_EQ(p.enumInputs()[1], std::make_pair(7u, first - 100));
  EXPECT_EQ(p.enumInputs()[3], std::make_pair(7u, first - 300));
}

TEST(EnumNetResources, FailedOpenCarriesTheProvidersCodeAndReasonAndClosesNothing) {
  FakeProvider p;
  p.FailOpen("\\\\BAD", netinfo::kErrorBadNetPath);
  p.FailOpen("\\\\DEAD", netinfo::kErrorNoNetwork, {netinfo::Cause::kHelperFailed, "signal 11"});
  const Listed bad = EnumNetResources(p, "\\\\BAD", "");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.failure().code, static_cast<int>(netinfo::kErrorBadNetPath));
  EXPECT_EQ(bad.failure().text, "");  // the caller names the container
  const base::Result<netinfo::NamedResourceList> dead = netinfo::EnumNamedResources(p, "\\\\DEAD", "");
  ASSERT_FALSE(dead);
  EXPECT_EQ(dead.failure().code, static_cast<int>(netinfo::kErrorNoNetwork));
  EXPECT_EQ(dead.failure().text, "signal 11");
  EXPECT_FALSE(EnumNetResources(p, "\\\\UNKNOWN", ""));
  EXPECT_EQ(p.enumCalls(), 0);
}

TEST(EnumNetResources, EmptyContainerIsTrueWithNoEntries) {
  FakeProvider p;
  p.Add("\\\\EMPTY", {});
  const Listed list = EnumNetResources(p, "\\\\EMPTY", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, IsEmpty());
  EXPECT_EQ(p.openHandles(), 0);
}

TEST(EnumNetResources, ErrorAfterSomeRecordsKeepsThemAndIsTrue) {
  FakeProvider p;
  p.Add("\\\\PC", {"\\\\PC\\A", "\\\\PC\\B", "\\\\PC\\C"}).FailAfter("\\\\PC", 2, 59);
  const Listed list = EnumNetResources(p, "\\\\PC", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, ElementsAre("\\\\PC\\A", "\\\\PC\\B"));
  EXPECT_EQ(p.openHandles(), 0);
}

TEST(EnumNetResources, RecordLargerThanTheBufferEndsTheLoop) {
  FakeProvider p;
  p.Add("\\\\PC", {"\\\\PC\\A", "\\\\PC\\" + std::string(2000, 'L'), "\\\\PC\\C"});
  const Listed list = EnumNetResources(p, "\\\\PC", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, ElementsAre("\\\\PC\\A"));
  EXPECT_EQ(p.enumCalls(), 2);
}

// Records whose remote name a careless provider got wrong.
uint32_t RecordPointingAt(void* buffer, uint32_t* size, char* text) {
  netinfo::NetResource f;
  netinfo::WriteRecord(f, nullptr, "", nullptr, nullptr, buffer, size);
  f.lpRemoteName = text;
  std::memcpy(buffer, &f, sizeof f);
  return netinfo::kNoError;
}

TEST(EnumNetResources, RemoteNameIsReadOnlyInsideTheBuffer) {
  static char outside[] = "outside";
  FakeProvider p;
  p.AddCustom("C", {
                       [](uint32_t*, void* b, uint32_t* s) { return RecordPointingAt(b, s, nullptr); },
                       [](uint32_t*, void* b, uint32_t* s) { return RecordPointingAt(b, s, outside); },
                       [](uint32_t*, void* b, uint32_t* s) {
                         // no NUL up to the buffer's end
                         char* bytes = static_cast<char*>(b);
                         std::memset(bytes, 'Z', *s);
                         return RecordPointingAt(b, s, bytes + *s - 5);
                       },
                       [](uint32_t*, void* b, uint32_t* s) {
                         return RecordPointingAt(b, s, static_cast<char*>(b) + *s);  // one past the end
                       },
                   });
  const Listed list = EnumNetResources(p, "C", "");
  ASSERT_TRUE(list);
  EXPECT_THAT(*list, ElementsAre("", "", "ZZZZZ", ""));
}

TEST(EnumNetResources, NamedChildrenCarryThePeersTextOrTheirBytesAsUtf8) {
  static char outside[] = "outside";
  auto record = [](const char* bytes, const char* text) {
    return [=](uint32_t*, void* b, uint32_t* s) {
      return netinfo::WriteRecord({}, nullptr, bytes, nullptr, nullptr, b, s, text);
    };
  };
  FakeProvider p;
  p.AddCustom("\\\\PC", {record("\\\\PC\\\x81\x60", u8"\\\\PC\\〜"), record("\\\\PC\\\x83\x5C", nullptr),
                         [](uint32_t*, void* b, uint32_t* s) {
                           netinfo::NetResource f;
                           netinfo::WriteRecord(f, nullptr, "\\\\PC\\?", nullptr, nullptr, b, s);
                           std::memcpy(&f, b, sizeof f);
                           f.lpRemoteText = outside;  // a careless provider's text is not read
                           std::memcpy(b, &f, sizeof f);
                           return netinfo::kNoError;
                         }});
  const base::Result<netinfo::NamedResourceList> named = netinfo::EnumNamedResources(p, "\\\\PC", "");
  ASSERT_TRUE(named);
  const netinfo::NamedResourceList& list = *named;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "\\\\PC\\\x81\x60");
  EXPECT_EQ(list[0].text, u8"\\\\PC\\〜");
  EXPECT_EQ(list[1].text, u8"\\\\PC\\ソ");
  EXPECT_EQ(list[2].text, "\\\\PC\\?");
}

// A record as the wide calls give it (UTF-16), with a twin and an unpaired
// surrogate from a broken server.
TEST(EnumNetResources, WideRecordsKeepTheTextAndBytesTheCodePageCanHold) {
  netinfo::NetResource fields;
  fields.dwType = netinfo::kResourceTypeDisk;
  const netinfo::WideRecord wide(fields, nullptr, u"\\\\NAS\\資料〜\xD800", nullptr, u"P");
  FakeProvider p;
  p.AddCustom("\\\\NAS", {[&](uint32_t*, void* b, uint32_t* s) { return wide.Write(b, s); }});
  const base::Result<netinfo::NamedResourceList> named = netinfo::EnumNamedResources(p, "\\\\NAS", "");
  ASSERT_TRUE(named);
  const netinfo::NamedResourceList& list = *named;
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].text, u8"\\\\NAS\\資料〜\uFFFD");
  EXPECT_EQ(list[0].name, "\\\\NAS\\\x8E\x91\x97\xBF\x81\x60?");
  EXPECT_EQ(wide.provider, "P");
  EXPECT_EQ(wide.localName, std::nullopt);
}

TEST(FindWorkgroupName, LastContainerWinsWithBackslashesRemoved) {
  FakeProvider p;
  p.Add("", {"FIRSTLONGERNAME", "\\\\SECOND", "W\\G"});
  EXPECT_EQ(FindWorkgroupName(p, 255).value_or("?"), "WG");
  EXPECT_EQ(p.requests()[0].provider, kNet);
}

TEST(FindWorkgroupName, TwoBackslashesAndANameGiveTheName) {
  FakeProvider p;
  p.Add("", {"\\\\NAME"});
  EXPECT_EQ(FindWorkgroupName(p, 255).value_or("?"), "NAME");
}

TEST(FindWorkgroupName, KeepsA5CThatIsTheSecondByteOfACharacter) {
  FakeProvider p;
  p.Add("", {"\\\\\x83\x5C\\\x83\x5C"});  // \\ソ\ソ
  EXPECT_EQ(FindWorkgroupName(p, 255).value_or("?"), "\x83\x5C\x83\x5C");
}

TEST(FindWorkgroupName, LongNameIsCutToTheCapacity) {
  FakeProvider p;
  p.Add("", {std::string(300, 'N')});
  EXPECT_EQ(FindWorkgroupName(p, 255).value_or("?"), std::string(255, 'N'));
}

TEST(FindWorkgroupName, FailedOpenGivesNothingAndNoContainerAnEmptyName) {
  FakeProvider failing;
  failing.FailOpen("", 1222);
  EXPECT_FALSE(FindWorkgroupName(failing, 255));
  FakeProvider empty;
  empty.Add("", {});
  EXPECT_EQ(FindWorkgroupName(empty, 255).value_or("?"), std::string());
}

TEST(FindWorkgroupName, ErrorAfterAContainerKeepsItsName) {
  FakeProvider p;
  p.Add("", {"ONE", "TWO"}).FailAfter("", 1, 59);
  EXPECT_EQ(FindWorkgroupName(p, 255).value_or("?"), "ONE");
}

TEST(WriteRecord, PacksTextsInsideTheBufferOrReportsTheSizeNeeded) {
  alignas(netinfo::NetResource) unsigned char buffer[200];
  std::memset(buffer, 0xEE, sizeof buffer);
  netinfo::NetResource f;
  f.dwType = 1;
  const uint32_t needed = static_cast<uint32_t>(sizeof f + 5 + 3);
  uint32_t size = needed - 1;
  EXPECT_EQ(netinfo::WriteRecord(f, nullptr, "\\\\AB", nullptr, "P\x83", buffer, &size), netinfo::kErrorMoreData);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(netinfo::WriteRecord(f, nullptr, "\\\\AB", nullptr, "P\x83", buffer, &size), netinfo::kNoError);
  netinfo::NetResource back;
  std::memcpy(&back, buffer, sizeof back);
  EXPECT_EQ(back.dwType, 1u);
  EXPECT_EQ(back.lpLocalName, nullptr);
  EXPECT_EQ(back.lpComment, nullptr);
  EXPECT_STREQ(back.lpRemoteName, "\\\\AB");
  EXPECT_STREQ(back.lpProvider, "P\x83");
  EXPECT_EQ(buffer[needed], 0xEE);
}

}  // namespace
