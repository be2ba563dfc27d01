// The provider's first listings in a fresh process, all at once, against a
// real smbd on 127.0.0.1:445.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "netprovider.h"
#include "smb_test_env.h"

namespace {

// The library sets its logon mechanisms up on its first logon; the share
// tree's workers start their first listings together, and none may be
// refused for it (the refusal reads as a logon refused). A listing that runs
// out of time on a loaded machine is not this fault, so each round only needs
// one listing through. Each round runs in a child process of its own (this
// process never uses the library): only a process's first logons meet the
// set-up.
TEST(FirstUse, ListingsStartedAllAtOnceAreNotRefused) {
  if (const std::string why = smbtest::WhyNoServers(); !why.empty()) GTEST_SKIP() << why;
  const std::string dir = smbtest::MakeTempDir("mirelka-smbd");
  ASSERT_FALSE(dir.empty());
  smbtest::UsePrivateClientConfig(dir);
  ASSERT_EQ(smbtest::RunFixture("smbd_fixture.sh start " + dir + "/server"), 0) << "smbd did not start";
  const smbtest::StopOnExit stop("smbd_fixture.sh stop " + dir + "/server", dir);
  constexpr int kRounds = 12;
  int failed = 0;
  for (int round = 0; round < kRounds; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto provider = netinfo::MakePlatformNetProvider();
      std::atomic<int> listed{0};
      std::atomic<int> refused{0};
      std::vector<std::thread> threads;
      for (int i = 0; i < 16; ++i)
        threads.emplace_back([&] {
          std::string remote = "\\\\127.0.0.1";
          netinfo::NetResource request;
          request.lpRemoteName = remote.data();
          netinfo::NetProvider::Handle handle = nullptr;
          const uint32_t result = provider->OpenEnum(2, 0, 0, request, &handle);
          if (result == netinfo::kNoError) {
            ++listed;
            provider->CloseEnum(handle);
          }
          refused += result == netinfo::kErrorAccessDenied;
        });
      for (std::thread& thread : threads) thread.join();
      _exit(refused == 0 && listed > 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  }
  EXPECT_EQ(failed, 0) << "rounds with a refused listing or none through, of " << kRounds;
}

}  // namespace
