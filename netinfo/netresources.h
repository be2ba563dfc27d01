#pragma once
// Enumeration of network containers through the provider seam.
#include <string>
#include <vector>

#include "netprovider.h"
#include "result.h"

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

// Why a container could not be opened: code is the provider's result
// (kError*), text the provider's own reason where it gave one (an SMB helper
// that could not be started, died or overran; code page 932), else empty,
// and the caller names the container in its own words.
base::Failure OpenFailure(const NetProvider& provider, uint32_t code);

// The remote name of every child of the container, in the provider's order,
// or why the container could not be opened; whatever ends the enumeration
// after the open keeps the children read before it.
base::Result<ResourceList> EnumNetResources(NetProvider& provider, const std::string& remoteName,
                                            const std::string& providerName);
// The same, with each child's own text beside its bytes.
base::Result<NamedResourceList> EnumNamedResources(NetProvider& provider, const std::string& remoteName,
                                                   const std::string& providerName);
// The same for a computer ("\\\\NAME"), whose address and reachability the
// caller gives for this call alone.
base::Result<NamedResourceList> EnumNamedResources(NetProvider& provider, const std::string& remoteName,
                                                   const HostLookup& lookup);

// The last top-level container of the Windows network provider, with
// backslashes removed and cut to capacity bytes; an empty name when the
// provider reports none, the open's failure when it failed.
base::Result<std::string> FindWorkgroupName(NetProvider& provider, size_t capacity);

}  // namespace netinfo
