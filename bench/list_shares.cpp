// Lists a network container through the platform provider, as the window
// would: list_shares '\\HOST' | list_shares WORKGROUP 'Microsoft Windows Network'
// | list_shares --workgroup. Names are printed as UTF-8, one a line; the exit
// status is 0 when the container could be opened.
#include <cstdio>
#include <cstring>
#include <string>

#include "cp932.h"
#include "netresources.h"

int main(int argc, char** argv) {
  auto provider = netinfo::MakePlatformNetProvider();
  if (argc == 2 && std::strcmp(argv[1], "--workgroup") == 0) {
    char name[256] = {};
    const bool ok = netinfo::FindWorkgroupName(*provider, name, 255);
    std::printf("%s\n", cp932::toUtf8(name).c_str());
    return ok ? 0 : 1;
  }
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s REMOTE [PROVIDER] | --workgroup\n", argv[0]);
    return 2;
  }
  netinfo::ResourceList list;
  const bool ok = netinfo::EnumNetResources(*provider, cp932::fromUtf8Lossy(argv[1]),
                                            argc == 3 ? cp932::fromUtf8Lossy(argv[2]) : std::string(), list);
  for (const std::string& name : list) std::printf("%s\n", cp932::toUtf8(name).c_str());
  return ok ? 0 : 1;
}
