#pragma once
// Binding of the companion network library, loaded at run time by its bare
// file name, and the buffer that carries texts to and from it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mirelka.h"
#include "netprovider.h"
#include "result.h"

namespace netlib {

// The library's file name on this platform.
const char* LibraryFileName();

// Load by bare name / find symbol / free: one backend per platform.
class DynamicLibrary {
 public:
  virtual ~DynamicLibrary() = default;
  // The handle, or the system's reason (code page 932) and its error number
  // where it gives one (else 1).
  virtual base::Result<void*> Load(const char* bareName) = 0;
  virtual void* Find(void* handle, const char* symbol) = 0;
  virtual void Free(void* handle) = 0;
};
std::unique_ptr<DynamicLibrary> MakePlatformDynamicLibrary();

using ConvFn = uint16_t(MIRELKA_CALL*)(char*, int32_t);
using InitFn = int32_t(MIRELKA_CALL*)();
using PingResultFn = int32_t(MIRELKA_CALL*)();
using NameToIpFromFn = uint16_t(MIRELKA_CALL*)(char*, int32_t, int32_t*);

// The failure codes of loading and binding the library.
constexpr int kNotLoaded = 1;
constexpr int kEntryPointsMissing = 2;

// The five entry points, looked up in this order at start-up.
constexpr std::array<const char*, 5> kEntryPoints = {"pingresult", "nametoip", "iptoname", "init", "connectpc"};
// Looked up as well; a library without it still starts (mirelka.h).
constexpr const char* kOptionalNameToIpFrom = "nametoipfrom";

class CompanionLibrary {
 public:
  explicit CompanionLibrary(DynamicLibrary& dl) : dl_(dl) {}
  ~CompanionLibrary() { FreeLibrary(); }
  CompanionLibrary(const CompanionLibrary&) = delete;
  CompanionLibrary& operator=(const CompanionLibrary&) = delete;

  // Loads the library. Fails (kNotLoaded, LibHandle stays null) with
  // "cannot load FILE (the system's reason)".
  base::Status Load(const char* bareName);
  // Looks up the entry points; returns the names not found, in check order
  // (the optional one is never reported).
  std::vector<std::string> BindEntryPoints();
  void FreeLibrary();

  void* LibHandle() const { return handle_; }

  PingResultFn pingresult = nullptr;
  ConvFn nametoip = nullptr;
  ConvFn iptoname = nullptr;
  InitFn init = nullptr;
  ConvFn connectpc = nullptr;
  NameToIpFromFn nametoipfrom = nullptr;  // may stay null

 private:
  DynamicLibrary& dl_;
  void* handle_ = nullptr;
};

// A zero-filled buffer of N bytes that carries an input text to an entry
// point and brings its output back. Input is cut to N - 1 bytes, so a NUL
// always follows it; output is read up to the first NUL, never past the end.
template <size_t N>
class ConvBuffer {
 public:
  static constexpr int32_t kSizeArg = static_cast<int32_t>(N - 1);

  ConvBuffer() { bytes_.fill(0); }
  void SetInput(std::string_view text) {
    bytes_.fill(0);
    std::memcpy(bytes_.data(), text.data(), std::min(text.size(), N - 1));
  }
  std::string Output() const {
    const void* nul = std::memchr(bytes_.data(), 0, N);
    const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - bytes_.data()) : N;
    return std::string(bytes_.data(), len);
  }
  char* data() { return bytes_.data(); }

 private:
  std::array<char, N> bytes_;
};

// Calls a conversion entry point with the buffer and its size argument; a
// missing entry point reports failure without output.
template <size_t N>
uint16_t Call(ConvFn fn, ConvBuffer<N>& buffer) {
  return fn ? fn(buffer.data(), ConvBuffer<N>::kSizeArg) : uint16_t{1};
}

// How the library said it found an address; kSystem for a code it does not
// define, which trusts it least.
netinfo::NameSource SourceFromLibrary(int32_t code);

// The companion's call steps, each once: the input goes in a buffer of the
// size the step has always used, and the output comes back as text on
// success, or as a failure with the library's code and its reason text (a
// missing entry point: code 1 and no text). All are bounded in time by the
// library and safe from several threads at once.

// nametoip or iptoname on the text (the conversion box).
base::Result<std::string> Convert(ConvFn fn, std::string_view input);
// connectpc on a computer's name, then, when it answers, nametoip on what the
// check wrote: the address the list shows beside a computer added by hand.
base::Result<std::string> AddressIfReachable(const CompanionLibrary& library, std::string_view name);
// connectpc on a computer's name: its address when it answers (the watch).
base::Result<std::string> Check(const CompanionLibrary& library, std::string_view name);
// nametoipfrom (nametoip where the library lacks it): the address of name and
// how it was found (where the library cannot say, by the text alone: a
// dotted name, else kSystem).
base::Result<netinfo::ResolvedHost> ResolveName(const CompanionLibrary& library, std::string_view name);
// connectpc on a dotted address: whether it reaches the computer, and when
// not, why (the library's code and reason).
base::Status Reaches(const CompanionLibrary& library, std::string_view address);

// The conversion box's steps: at the press, the name from the address when
// the name field is empty, else the address from the name; after the name
// came back, the address from it when the address field is (still) empty;
// then nothing more. Both fields filled at the press: nothing runs.
enum class ConversionStep { kBothFilled, kNameFromAddress, kAddressFromName, kDone };
// The step to run now, from what the fields hold now and the step that has
// just ended (none at the press).
ConversionStep NextConversionStep(bool nameFilled, bool addressFilled, std::optional<ConversionStep> ended);

// An answer as the conversion box and the watch show it: the output, or
// "Err " and the reason.
std::string Shown(const base::Result<std::string>& answer);

}  // namespace netlib
