#pragma once
// An in-memory network provider for tests: a tree of containers and their
// children's remote names, which records every open it is asked for.
//
//   FakeProvider p;
//   p.Add("", {"WORKGROUP"}).Add("WORKGROUP", {"\\\\PC01"}).Add("\\\\PC01", {"\\\\PC01\\DATA"});
//   p.FailOpen("\\\\BAD", 53);            // open answers 53
//   p.FailAfter("\\\\PC01", 1, 59);       // one record, then 59
//   p.ResolveOnOpen();                  // an open of "\\NAME" asks the owner's lookup for NAME
//   p.OnOpen([](const std::string& remote) { ... });  // runs inside every open, on the caller's thread
//
// Opens may come from several threads at once; the logs are kept under a lock.
// A child name that does not fit the caller's buffer is answered with 234 and
// the size needed, as the platform does. Containers are keyed by remote name
// only; the provider name is recorded, not matched.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "netprovider.h"

namespace fakes {

struct OpenRequest {
  uint32_t scope = 0;
  uint32_t type = 0;
  uint32_t usage = 0;
  netinfo::NetResource container;  // as passed; its text pointers are not kept valid
  bool remoteNameNonNull = false;
  bool providerNonNull = false;
  std::string remoteName;
  std::string provider;
  bool allowSmb1 = false;  // the owner's lookup allowed SMB1
};

class FakeProvider final : public netinfo::NetProvider {
 public:
  // Writes one answer into the caller's buffer; for providers that misbehave.
  using RecordWriter = std::function<uint32_t(uint32_t* count, void* buffer, uint32_t* bufferSize)>;

  // Adds a container (or replaces its children).
  FakeProvider& Add(const std::string& container, std::vector<std::string> children);
  // Open of this container answers code (no handle); a cause, when given, is
  // what LastFailureCause says afterwards on the opening thread.
  FakeProvider& FailOpen(const std::string& container, uint32_t code, netinfo::FailureCause cause = {});
  // After k records the container's enumeration answers code, every time.
  FakeProvider& FailAfter(const std::string& container, size_t k, uint32_t code);
  // The container's answers come from these writers, one per call, then 259.
  FakeProvider& AddCustom(const std::string& container, std::vector<RecordWriter> writers);
  // Code for a container that was never added (default 67, bad net name).
  FakeProvider& UnknownContainerCode(uint32_t code);
  // Turns the request log off, for benchmarks.
  FakeProvider& RecordRequests(bool on);
  // Every open of "\\NAME" asks the owner's lookup for NAME's address first,
  // as the platform provider does, and logs "NAME=ADDRESS" ("NAME=" for none).
  FakeProvider& ResolveOnOpen();
  // Runs inside every open, before it is answered (set it before opens start).
  FakeProvider& OnOpen(std::function<void(const std::string& remoteName)> hook);

  void SetHostLookup(netinfo::HostLookup lookup) override { lookup_ = std::move(lookup); }
  const netinfo::HostLookup& lookup() const { return lookup_; }
  std::vector<std::string> resolved() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return resolved_;
  }

  const std::vector<OpenRequest>& requests() const { return requests_; }
  // Enumerations opened and not yet closed.
  int openHandles() const { return openHandles_; }
  int enumCalls() const { return enumCalls_; }
  // The record count and buffer size the caller passed in on each call.
  const std::vector<std::pair<uint32_t, uint32_t>>& enumInputs() const { return enumInputs_; }

  uint32_t OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const netinfo::NetResource& container,
                    Handle* handle) override;
  uint32_t OpenEnumWith(const netinfo::HostLookup& lookup, uint32_t scope, uint32_t type, uint32_t usage,
                        const netinfo::NetResource& container, Handle* handle) override;
  uint32_t EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) override;
  uint32_t CloseEnum(Handle handle) override;
  netinfo::FailureCause LastFailureCause() const override;
  bool CanAllowSmb1() const override { return canAllowSmb1; }
  bool canAllowSmb1 = false;  // as the platform's own SMB client can

 private:
  struct Node {
    std::vector<std::string> children;
    std::vector<RecordWriter> writers;
    uint32_t openCode = netinfo::kNoError;
    netinfo::FailureCause cause;
    size_t failAfter = SIZE_MAX;
    uint32_t failCode = netinfo::kNoError;
  };
  struct Cursor {
    const Node* node;
    size_t next = 0;
  };

  mutable std::mutex mutex_;  // guards the logs and counts below nodes_
  // Each thread's last failed open's cause (no thread_local: under MinGW its
  // destructor would run on freed storage at the thread's end).
  std::map<std::thread::id, netinfo::FailureCause> causes_;
  std::function<void(const std::string&)> onOpen_;
  std::unordered_map<std::string, Node> nodes_;
  std::vector<OpenRequest> requests_;
  std::vector<std::pair<uint32_t, uint32_t>> enumInputs_;
  netinfo::HostLookup lookup_;
  bool resolveOnOpen_ = false;
  std::vector<std::string> resolved_;
  uint32_t unknownCode_ = netinfo::kErrorBadNetName;
  bool record_ = true;
  int openHandles_ = 0;
  int enumCalls_ = 0;
};

}  // namespace fakes
