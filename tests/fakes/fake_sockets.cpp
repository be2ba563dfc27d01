#include "fake_sockets.h"

#include <algorithm>
#include <cstring>

namespace fakes {

FakeSockets& FakeSockets::AddInterface(std::array<uint8_t, 4> address, std::array<uint8_t, 4> mask, uint32_t flags) {
  std::vector<uint8_t> entry(netinfo::kInterfaceInfoSize, 0);
  const uint16_t family = 2;
  std::memcpy(entry.data() + netinfo::kOffFlags, &flags, sizeof flags);
  for (size_t offset : {netinfo::kOffAddressFamily, netinfo::kOffBroadcastFamily, netinfo::kOffNetmaskFamily})
    std::memcpy(entry.data() + offset, &family, sizeof family);
  std::copy(address.begin(), address.end(), entry.begin() + netinfo::kOffAddress);
  std::copy(mask.begin(), mask.end(), entry.begin() + netinfo::kOffNetmask);
  bytes_.insert(bytes_.end(), entry.begin(), entry.end());
  return *this;
}

FakeSockets& FakeSockets::SetBytes(std::vector<uint8_t> bytes) {
  bytes_ = std::move(bytes);
  return *this;
}

FakeSockets& FakeSockets::ReportByteCount(uint32_t count) {
  countSet_ = true;
  count_ = count;
  return *this;
}

FakeSockets& FakeSockets::SetHostName(std::string name) {
  hostName_ = std::move(name);
  return *this;
}

uint32_t FakeSockets::GetInterfaceList(uint8_t* buffer, uint32_t length) {
  lastLength_ = length;
  if (!bytes_.empty()) std::memcpy(buffer, bytes_.data(), std::min<size_t>(bytes_.size(), length));
  return countSet_ ? count_ : static_cast<uint32_t>(bytes_.size());
}

std::string FakeSockets::GetHostName() { return hostName_; }

}  // namespace fakes
