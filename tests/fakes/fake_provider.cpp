#include "fake_provider.h"

#include <thread>

namespace fakes {

using netinfo::NetResource;

FakeProvider& FakeProvider::Add(const std::string& container, std::vector<std::string> children) {
  nodes_[container].children = std::move(children);
  return *this;
}

FakeProvider& FakeProvider::FailOpen(const std::string& container, uint32_t code, netinfo::FailureCause cause) {
  nodes_[container].openCode = code;
  nodes_[container].cause = std::move(cause);
  return *this;
}

netinfo::FailureCause FakeProvider::LastFailureCause() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = causes_.find(std::this_thread::get_id());
  return it == causes_.end() ? netinfo::FailureCause{} : it->second;
}

FakeProvider& FakeProvider::FailAfter(const std::string& container, size_t k, uint32_t code) {
  Node& node = nodes_[container];
  node.failAfter = k;
  node.failCode = code;
  return *this;
}

FakeProvider& FakeProvider::AddCustom(const std::string& container, std::vector<RecordWriter> writers) {
  nodes_[container].writers = std::move(writers);
  return *this;
}

FakeProvider& FakeProvider::UnknownContainerCode(uint32_t code) {
  unknownCode_ = code;
  return *this;
}

FakeProvider& FakeProvider::RecordRequests(bool on) {
  record_ = on;
  return *this;
}

FakeProvider& FakeProvider::ResolveOnOpen() {
  resolveOnOpen_ = true;
  return *this;
}

FakeProvider& FakeProvider::OnOpen(std::function<void(const std::string&)> hook) {
  onOpen_ = std::move(hook);
  return *this;
}

uint32_t FakeProvider::OpenEnum(uint32_t scope, uint32_t type, uint32_t usage, const NetResource& container,
                                Handle* handle) {
  return OpenEnumWith(lookup_, scope, type, usage, container, handle);
}

uint32_t FakeProvider::OpenEnumWith(const netinfo::HostLookup& lookup, uint32_t scope, uint32_t type, uint32_t usage,
                                    const NetResource& container, Handle* handle) {
  const std::string remote = container.lpRemoteName ? container.lpRemoteName : "";
  if (onOpen_) onOpen_(remote);
  std::optional<netinfo::ResolvedHost> found;
  if (resolveOnOpen_ && remote.compare(0, 2, "\\\\") == 0 && lookup.resolve) found = lookup.resolve(remote.substr(2));
  const std::lock_guard<std::mutex> lock(mutex_);
  if (resolveOnOpen_ && remote.compare(0, 2, "\\\\") == 0)
    resolved_.push_back(remote.substr(2) + "=" + (found ? found->address : std::string()));
  if (record_) {
    OpenRequest r;
    r.scope = scope;
    r.type = type;
    r.usage = usage;
    r.allowSmb1 = lookup.allowSmb1;
    r.container = container;
    r.remoteNameNonNull = container.lpRemoteName != nullptr;
    r.providerNonNull = container.lpProvider != nullptr;
    r.remoteName = container.lpRemoteName ? container.lpRemoteName : "";
    r.provider = container.lpProvider ? container.lpProvider : "";
    requests_.push_back(std::move(r));
  }
  causes_.erase(std::this_thread::get_id());
  const auto it = nodes_.find(container.lpRemoteName ? container.lpRemoteName : "");
  if (it == nodes_.end()) return unknownCode_;
  if (it->second.openCode != netinfo::kNoError) {
    causes_[std::this_thread::get_id()] = it->second.cause;
    return it->second.openCode;
  }
  *handle = new Cursor{&it->second};
  ++openHandles_;
  return netinfo::kNoError;
}

uint32_t FakeProvider::EnumResource(Handle handle, uint32_t* count, void* buffer, uint32_t* bufferSize) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++enumCalls_;
    if (record_) enumInputs_.emplace_back(*count, *bufferSize);
  }
  auto* cursor = static_cast<Cursor*>(handle);
  const Node& node = *cursor->node;
  if (cursor->next >= node.failAfter) return node.failCode;
  if (!node.writers.empty()) {
    if (cursor->next >= node.writers.size()) return netinfo::kErrorNoMoreItems;
    return node.writers[cursor->next++](count, buffer, bufferSize);
  }
  if (cursor->next >= node.children.size()) return netinfo::kErrorNoMoreItems;
  NetResource fields;
  fields.dwScope = netinfo::kResourceGlobalNet;
  fields.dwUsage = netinfo::kResourceUsageContainer;
  const uint32_t result = netinfo::WriteRecord(fields, nullptr, node.children[cursor->next].c_str(), nullptr,
                                               netinfo::kWindowsNetwork, buffer, bufferSize);
  if (result != netinfo::kNoError) return result;
  *count = 1;
  ++cursor->next;
  return netinfo::kNoError;
}

uint32_t FakeProvider::CloseEnum(Handle handle) {
  delete static_cast<Cursor*>(handle);
  const std::lock_guard<std::mutex> lock(mutex_);
  --openHandles_;
  return netinfo::kNoError;
}

}  // namespace fakes
