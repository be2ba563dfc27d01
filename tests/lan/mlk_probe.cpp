// mlk_probe: one call of the companion library from the command line, for
// the LAN checks and the side-by-side timings. It links nothing but the
// binding, so its start-up costs what a small program's does.
//
//   mlk_probe [-r N] nametoip NAME      256-byte buffer, as the conversion box
//   mlk_probe [-r N] iptoname ADDRESS
//   mlk_probe [-r N] connectpc NAME     512-byte buffer, as the watch
//
// Prints the result code and the output text (as UTF-8). With -r N the call
// is made N times in this process and the median time of one call goes to
// standard error. Exit status 0 when the last call succeeded, 1 when it
// failed, 2 on a usage error or when the library cannot be loaded.
#include <cstdio>
#include <cstring>
#include <string>

#include "companion.h"
#include "converter.h"
#include "probe_timing.h"

namespace {

int Usage() {
  std::fputs("usage: mlk_probe [-r N] nametoip NAME | iptoname ADDRESS | connectpc NAME\n", stderr);
  return 2;
}

template <size_t N>
int Convert(int repeat, netlib::ConvFn fn, netlib::InitFn init, const char* input) {
  netlib::ConvBuffer<N> buffer;
  uint16_t result = 0;
  lanprobe::Timed(repeat, [&] {
    if (init) init();
    buffer.SetInput(input);
    result = netlib::Call(fn, buffer);
    return result == 0;
  });
  std::printf("%u %s\n", static_cast<unsigned>(result), textconv::Cp932ToUtf8Escaped(buffer.Output()).c_str());
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  int repeat = 1;
  if (!lanprobe::ParseRepeat(argc, argv, &arg, &repeat) || argc - arg != 2) return Usage();
  const std::string command = argv[arg];
  const char* input = argv[arg + 1];  // names and addresses here are ASCII

  auto dynlib = netlib::MakePlatformDynamicLibrary();
  netlib::CompanionLibrary library(*dynlib);
  if (const base::Status loaded = library.Load(netlib::LibraryFileName()); !loaded) {
    std::fprintf(stderr, "mlk_probe: %s\n", loaded.failure().text.c_str());
    return 2;
  }
  for (const std::string& missing : library.BindEntryPoints())
    std::fprintf(stderr, "mlk_probe: %s missing\n", missing.c_str());

  if (command == "nametoip") return Convert<256>(repeat, library.nametoip, nullptr, input);
  if (command == "iptoname") return Convert<256>(repeat, library.iptoname, nullptr, input);
  if (command == "connectpc") return Convert<512>(repeat, library.connectpc, library.init, input);
  return Usage();
}
