#include <windows.h>

#include <string>

#include "companion.h"

namespace netlib {
namespace {

// The system's text for a Win32 error, in the ANSI code page (932 where the
// program runs), without the line end it comes with.
std::string SystemText(DWORD error) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                      text, sizeof text, nullptr);
  std::string out(text, length < sizeof text ? length : 0);
  while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out.empty() ? "error " + std::to_string(error) : out;
}

class WinDynamicLibrary final : public DynamicLibrary {
 public:
  base::Result<void*> Load(const char* bareName) override {
    if (const HMODULE module = LoadLibraryA(bareName)) return static_cast<void*>(module);
    const DWORD error = GetLastError();
    return base::Failure{error != 0 ? static_cast<int>(error) : 1, SystemText(error)};
  }
  void* Find(void* handle, const char* symbol) override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), symbol));
  }
  void Free(void* handle) override { ::FreeLibrary(static_cast<HMODULE>(handle)); }
};

}  // namespace

const char* LibraryFileName() { return "mirelka.dll"; }

std::unique_ptr<DynamicLibrary> MakePlatformDynamicLibrary() { return std::make_unique<WinDynamicLibrary>(); }

}  // namespace netlib
