// mlk_enum: the network provider from the command line, through the same
// routines the window uses, with computer names resolved and checked by the
// companion library as the window does.
//
//   mlk_enum [-r N] REMOTE [PROVIDER]   EnumNetResources; PROVIDER defaults to
//                                       "Microsoft Windows Network", '' is empty
//   mlk_enum [-r N] -w                  FindWorkgroupName
//   mlk_enum [-r N] -u USER|-U USER REMOTE
//                                       logs on as USER where guests are refused,
//                                       the password read from standard input:
//                                       -u as from the login dialog, for each
//                                       call anew; -U with the session's
//                                       credentials after a first call
//
// Prints one remote name per line (as UTF-8). With -r N the call is made N
// times in this process and the median time of one call goes to standard
// error. Exit status 0 when the container could be opened, 1 when not, 2 on
// a usage error.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "companion.h"
#include "cp932_codec.h"
#include "failure_cause.h"
#include "netresources.h"
#include "probe_timing.h"
#include "smb_auth.h"

namespace {

int Usage() {
  std::fputs("usage: mlk_enum [-r N] REMOTE [PROVIDER] | mlk_enum [-r N] -w | mlk_enum [-r N] -u|-U USER REMOTE\n",
             stderr);
  return 2;
}

void PrintLine(const std::string& cp932Text) { std::printf("%s\n", cp932::ToUtf8(cp932Text).c_str()); }

int Enumerate(netinfo::NetProvider& net, int repeat, const char* remote, const char* provider) {
  netinfo::ResourceList list;
  std::string why;
  const bool opened = lanprobe::Timed(repeat, [&] {
    const auto read = netinfo::EnumNetResources(net, cp932::FromUtf8Lossy(remote), cp932::FromUtf8Lossy(provider));
    list = read.value_or({});
    if (!read.ok()) why = netinfo::CauseOfProviderCode(read.failure().code).detail;
    return read.ok();
  });
  for (const std::string& name : list) PrintLine(name);
  // The provider's own word (ERROR_NO_NETWORK under Wine) for scripts to tell.
  if (!opened) std::fprintf(stderr, "mlk_enum: the container could not be opened (%s)\n", why.c_str());
  return opened ? 0 : 1;
}

int Workgroup(netinfo::NetProvider& net, int repeat) {
  std::optional<std::string> name;
  lanprobe::Timed(repeat, [&] {
    name = netinfo::FindWorkgroupName(net, 255).optional();
    return name.has_value();
  });
  PrintLine(name.value_or(""));
  return name ? 0 : 1;
}

// Answers the dialog step with the user and the password, and counts.
class Answer final : public netinfo::LoginPrompt {
 public:
  Answer(std::string user, const netinfo::Secret& password) : user_(std::move(user)), password_(password) {}
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest&) override {
    ++asked;
    netinfo::LoginAnswer answer;
    answer.credentials.user = user_;
    answer.credentials.password = password_;
    return answer;
  }
  int asked = 0;

 private:
  std::string user_;
  netinfo::Secret password_;
};

int LogOn(netinfo::NetProvider& net, int repeat, bool session, const char* user, const char* remote) {
  std::string line;
  std::getline(std::cin, line);
  const netinfo::Secret password(line.data(), line.size());
  netinfo::WipeBytes(line.data(), line.size());
  Answer prompt(user, password);
  auto login = std::make_unique<netinfo::Authenticator>(nullptr, &prompt);
  net.SetLogin(login.get());
  netinfo::ResourceList list;
  const std::string container = cp932::FromUtf8Lossy(remote);
  if (session) static_cast<void>(netinfo::EnumNetResources(net, container, std::string()));
  const bool opened = lanprobe::Timed(repeat, [&] {
    if (!session) {
      login = std::make_unique<netinfo::Authenticator>(nullptr, &prompt);
      net.SetLogin(login.get());
    }
    const auto read = netinfo::EnumNetResources(net, container, std::string());
    list = read.value_or({});
    return read.ok();
  });
  net.SetLogin(nullptr);
  for (const std::string& name : list) PrintLine(name);
  std::fprintf(stderr, "mlk_enum: asked for credentials %d times\n", prompt.asked);
  return opened ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int arg = 1;
  int repeat = 1;
  if (!lanprobe::ParseRepeat(argc, argv, &arg, &repeat)) return Usage();
  const int left = argc - arg;
  const bool logOn = left == 3 && (std::strcmp(argv[arg], "-u") == 0 || std::strcmp(argv[arg], "-U") == 0);
  if (!logOn && (left < 1 || left > 2 || (left == 2 && std::strcmp(argv[arg], "-w") == 0))) return Usage();

  auto dynlib = netlib::MakePlatformDynamicLibrary();
  netlib::CompanionLibrary library(*dynlib);
  if (!library.Load(netlib::LibraryFileName()) || !library.BindEntryPoints().empty())
    std::fprintf(stderr, "mlk_enum: %s not usable; only addresses can be listed\n", netlib::LibraryFileName());
  auto net = netinfo::MakePlatformNetProvider();
  net->SetHostLookup({[&](const std::string& name) { return netlib::ResolveName(library, name).optional(); },
                      [&](const std::string& address) { return netlib::Reaches(library, address).ok(); }});

  if (logOn) return LogOn(*net, repeat, argv[arg][1] == 'U', argv[arg + 1], argv[arg + 2]);
  if (std::strcmp(argv[arg], "-w") == 0) return Workgroup(*net, repeat);
  return Enumerate(*net, repeat, argv[arg], left == 2 ? argv[arg + 1] : netinfo::kWindowsNetwork);
}
