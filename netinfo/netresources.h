#pragma once
// Enumeration of network containers through the provider seam.
#include <optional>
#include <string>
#include <vector>

#include "netprovider.h"

namespace netinfo {

constexpr uint32_t kResultBufferSize = 1600;

// Remote names in the provider's order, duplicates kept. Each caller owns its
// own list, so a handler that runs inside another's message pump cannot read
// or free a list that is not its own.
using ResourceList = std::vector<std::string>;

// A child's remote name twice: the code page 932 bytes the program keeps (and
// the list file saves), and the text the peer gave it (UTF-8), which is what
// is shown and opened. The text is the bytes as UTF-8 when the provider gives
// no text of its own.
struct NamedResource {
  std::string name;
  std::string text;
};
using NamedResourceList = std::vector<NamedResource>;

// Appends the remote name of every child of the container to list. True when
// the container could be opened, whatever ended the enumeration.
bool EnumNetResources(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
                      ResourceList& list);
// The same, with each child's own text beside its bytes.
bool EnumNetResources(NetProvider& provider, const std::string& remoteName, const std::string& providerName,
                      NamedResourceList& list);

// The same for a computer ("\\\\NAME"), whose address and reachability the
// caller gives for this call alone.
bool EnumNetResources(NetProvider& provider, const std::string& remoteName, const HostLookup& lookup,
                      NamedResourceList& list);

// The last top-level container of the Windows network provider, with
// backslashes removed and cut to capacity bytes; an empty name when the
// provider reports none, nothing when the open failed.
std::optional<std::string> FindWorkgroupName(NetProvider& provider, size_t capacity);

}  // namespace netinfo
