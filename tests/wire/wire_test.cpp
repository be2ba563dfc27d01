// The bounds of the reader NetBIOS and DNS share: nothing is read past the
// end, pointers only lead backwards and at most kMaxPointerJumps times, and
// names stay within their protocol's length.
#include "wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirelka::wire {
namespace {

using Bytes = std::vector<uint8_t>;

bool ReadName(const Bytes& bytes, size_t at, std::string& name, size_t* end = nullptr, size_t max = 254) {
  Reader reader(bytes.data(), bytes.size());
  if (!reader.Skip(at) || !reader.Name(name, max)) return false;
  if (end) *end = reader.pos();
  return true;
}

TEST(WireReader, NothingIsReadPastTheEnd) {
  const Bytes whole = {0x12, 0x34, 0x81, 0x80, 0, 1, 0, 1, 0, 0, 0, 0, 2, 'p', 'c', 0, 0, 1, 0, 1, 0, 0, 0, 30, 0, 4};
  for (size_t size = 0; size <= whole.size(); ++size) {
    Reader reader(whole.data(), size);
    Header header;
    std::string name;
    RecordHead head;
    const bool read = reader.ReadHeader(header) && reader.Name(name, 254) && reader.Skip(4);
    EXPECT_EQ(read, size >= 20) << size;
    EXPECT_LE(reader.pos(), size);
    Reader record(whole.data(), size);
    EXPECT_EQ(record.Skip(12) && record.ReadRecordHead(head, 254), size == whole.size()) << size;
  }
  Reader empty(nullptr, 0);
  uint8_t byte = 0;
  uint32_t value = 0;
  const uint8_t* taken = nullptr;
  EXPECT_FALSE(empty.Byte(byte) || empty.U32(value) || empty.Take(1, taken));
  EXPECT_EQ(empty.pos(), 0u);
}

TEST(WireReader, PointersLeadOnlyBackwardsAndBoundedly) {
  // "pc" at 0, then pointers: each at offset 3 + 2k points to the one before.
  Bytes bytes = {2, 'p', 'c', 0};
  for (unsigned k = 0; k <= kMaxPointerJumps; ++k) {
    const size_t target = k == 0 ? 0 : bytes.size() - 2;
    bytes.push_back(static_cast<uint8_t>(0xC0 | target >> 8));
    bytes.push_back(static_cast<uint8_t>(target & 0xFF));
  }
  std::string name;
  size_t end = 0;
  const size_t last = bytes.size() - 2;  // kMaxPointerJumps + 1 jumps from here
  ASSERT_TRUE(ReadName(bytes, last - 2, name, &end));
  EXPECT_EQ(name, "\x02pc");
  EXPECT_EQ(end, last) << "the reader goes on after the first pointer";
  EXPECT_FALSE(ReadName(bytes, last, name)) << "one jump too many";

  const Bytes self = {0xC0, 0x00};
  const Bytes forward = {0xC0, 0x02, 1, 'x', 0};
  const Bytes cut = {0xC0};
  const Bytes otherLabelTypes[] = {{0x40, 0}, {0x80, 0}};
  EXPECT_FALSE(ReadName(self, 0, name));
  EXPECT_FALSE(ReadName(forward, 0, name));
  EXPECT_FALSE(ReadName(cut, 0, name));
  for (const Bytes& b : otherLabelTypes) EXPECT_FALSE(ReadName(b, 0, name));
}

TEST(WireReader, NamesStayWithinTheirProtocolsLength) {
  Bytes bytes;
  for (int i = 0; i < 4; ++i) {
    bytes.push_back(63);
    bytes.insert(bytes.end(), 63, 'a');
  }
  bytes.push_back(0);  // 256 label bytes
  std::string name;
  EXPECT_TRUE(ReadName(bytes, 0, name, nullptr, 256));
  EXPECT_FALSE(ReadName(bytes, 0, name, nullptr, 255));
}

}  // namespace
}  // namespace mirelka::wire
