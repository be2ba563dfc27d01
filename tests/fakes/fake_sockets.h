#pragma once
// Sockets information for tests: serves a hand-made interface buffer with the
// byte count it claims, and a host name.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sockets.h"

namespace fakes {

class FakeSockets final : public netinfo::SocketsInfo {
 public:
  // Appends one 76-byte entry with the family fields set; returns *this.
  FakeSockets& AddInterface(std::array<uint8_t, 4> address, std::array<uint8_t, 4> mask,
                            uint32_t flags = netinfo::kIffUp);
  // Replaces the buffer's bytes; the reported count stays separate.
  FakeSockets& SetBytes(std::vector<uint8_t> bytes);
  // The byte count reported, whatever the bytes hold. Default: the bytes' size.
  FakeSockets& ReportByteCount(uint32_t count);
  FakeSockets& SetHostName(std::string name);  // given as it is, however long

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  uint32_t lastLength() const { return lastLength_; }

  uint32_t GetInterfaceList(uint8_t* buffer, uint32_t length) override;
  std::string GetHostName() override;

 private:
  std::vector<uint8_t> bytes_;
  bool countSet_ = false;
  uint32_t count_ = 0;
  std::string hostName_;
  uint32_t lastLength_ = 0;
};

}  // namespace fakes
