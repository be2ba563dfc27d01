#include <windows.h>

#include "companion.h"

namespace netlib {
namespace {

class WinDynamicLibrary final : public DynamicLibrary {
 public:
  void* Load(const char* bareName) override { return LoadLibraryA(bareName); }
  void* Find(void* handle, const char* symbol) override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), symbol));
  }
  void Free(void* handle) override { ::FreeLibrary(static_cast<HMODULE>(handle)); }
};

}  // namespace

const char* LibraryFileName() { return "mirelka.dll"; }

std::unique_ptr<DynamicLibrary> MakePlatformDynamicLibrary() { return std::make_unique<WinDynamicLibrary>(); }

}  // namespace netlib
