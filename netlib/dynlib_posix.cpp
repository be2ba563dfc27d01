#include <dlfcn.h>

#include "companion.h"
#include "cp932_codec.h"

namespace netlib {
namespace {

// dlopen with a bare name searches the executable's RUNPATH ($ORIGIN) first,
// so the copy beside the program wins, as on Windows.
class PosixDynamicLibrary final : public DynamicLibrary {
 public:
  base::Result<void*> Load(const char* bareName) override {
    if (void* handle = dlopen(bareName, RTLD_NOW | RTLD_LOCAL)) return handle;
    // The loader's words come in the locale's encoding, UTF-8 on any
    // desktop of today.
    const char* why = dlerror();
    return base::Failure{1, cp932::FromUtf8Lossy(why ? why : "dlopen failed")};
  }
  void* Find(void* handle, const char* symbol) override { return dlsym(handle, symbol); }
  void Free(void* handle) override { dlclose(handle); }
};

}  // namespace

const char* LibraryFileName() { return "libmirelka.so"; }

std::unique_ptr<DynamicLibrary> MakePlatformDynamicLibrary() { return std::make_unique<PosixDynamicLibrary>(); }

}  // namespace netlib
