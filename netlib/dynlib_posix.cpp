#include <dlfcn.h>

#include "companion.h"

namespace netlib {
namespace {

// dlopen with a bare name searches the executable's RUNPATH ($ORIGIN) first,
// so the copy beside the program wins, as on Windows.
class PosixDynamicLibrary final : public DynamicLibrary {
 public:
  void* Load(const char* bareName) override { return dlopen(bareName, RTLD_NOW | RTLD_LOCAL); }
  void* Find(void* handle, const char* symbol) override { return dlsym(handle, symbol); }
  void Free(void* handle) override { dlclose(handle); }
};

}  // namespace

const char* LibraryFileName() { return "libmirelka.so"; }

std::unique_ptr<DynamicLibrary> MakePlatformDynamicLibrary() { return std::make_unique<PosixDynamicLibrary>(); }

}  // namespace netlib
