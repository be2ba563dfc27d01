// Start-up's guard for the passwords in memory, run in a child process so
// that the test runner itself keeps its own settings.
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "hardening.h"

namespace {

TEST(Hardening, NoCoreFileAndNoDumpableProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    KeepSecretsOutOfCoreDumps();
    rlimit core{};
    const bool noCore = getrlimit(RLIMIT_CORE, &core) == 0 && core.rlim_cur == 0 && core.rlim_max == 0;
    bool sanitized = false;  // hardening_linux.cpp leaves such builds dumpable
#if defined(__SANITIZE_ADDRESS__)
    sanitized = true;
#endif
    const bool undumpable = sanitized || prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 0;
    _exit((noCore ? 0 : 1) | (undumpable ? 0 : 2));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a core file may be written, 2: the process stays dumpable";
}

}  // namespace
