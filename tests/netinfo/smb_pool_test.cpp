// The SMB helper pool against stand-in helpers (fake_smb_helper.cpp) that
// crash, hang or write broken frames, and the reply reader on its own.
#include "smb_pool.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "share_tree.h"

namespace {

using namespace std::chrono_literals;
using netinfo::HelperFailure;
using netinfo::SmbHelperPool;
namespace wire = netinfo::smbwire;

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

// No child of this process is left, reaped or not.
bool NoChildren() {
  int status = 0;
  return waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

// Whether the child has ended; it stays unreaped, for its owner to reap.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

wire::Request Asking(const std::string& mode) {
  wire::Request request;
  request.target = wire::Target::kServer;
  request.name = mode;
  request.host = "127.0.0.1";
  return request;
}

netinfo::SmbPoolOptions Quick() {
  netinfo::SmbPoolOptions options;
  options.deadline = 700ms;
  return options;
}

TEST(SmbWire, ReaderRefusesTruncatedOversizedAndAbsurdFrames) {
  wire::Reply reply;
  for (int i = 0; i < 3; ++i) reply.records.push_back({1, 3, 1, "\\\\PC\\S" + std::to_string(i), "\\\\PC\\s"});
  const std::string frame = wire::EncodeReply(reply);
  const auto* bytes = reinterpret_cast<const unsigned char*>(frame.data());
  size_t length = 0;
  ASSERT_TRUE(wire::BodyLength(bytes, wire::kMaxReplyBytes, &length));
  ASSERT_EQ(length, frame.size() - wire::kHeaderBytes);
  wire::Reply read;
  ASSERT_TRUE(wire::DecodeReply(bytes + wire::kHeaderBytes, length, &read));
  ASSERT_EQ(read.records.size(), 3u);
  EXPECT_EQ(read.records[2].remoteName, "\\\\PC\\S2");
  EXPECT_EQ(read.records[2].displayType, 3u);
  // Every cut short of the whole body, and a byte too many, is refused.
  for (size_t cut = 0; cut < length; ++cut)
    EXPECT_FALSE(wire::DecodeReply(bytes + wire::kHeaderBytes, cut, &read)) << cut;
  std::string longer = frame.substr(wire::kHeaderBytes) + "x";
  EXPECT_FALSE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(longer.data()), longer.size(), &read));
  // A count far beyond what the bytes hold, a text longer than the body, a
  // frame over the cap or empty, another version.
  std::string absurd = frame.substr(wire::kHeaderBytes);
  absurd[10] = absurd[11] = absurd[12] = absurd[13] = '\xFF';
  EXPECT_FALSE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(absurd.data()), absurd.size(), &read));
  std::string longText = frame.substr(wire::kHeaderBytes);
  longText[26] = '\x7F';  // the first record's name length
  EXPECT_FALSE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(longText.data()), longText.size(), &read));
  const unsigned char over[] = {0x01, 0x00, 0x10, 0x00}, empty[] = {0, 0, 0, 0};
  EXPECT_FALSE(wire::BodyLength(over, wire::kMaxReplyBytes, &length));
  EXPECT_FALSE(wire::BodyLength(empty, wire::kMaxReplyBytes, &length));
  std::string version = frame.substr(wire::kHeaderBytes);
  version[0] = 1;
  EXPECT_FALSE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(version.data()), version.size(), &read));
  // The server's status comes through as a status name, nothing else: a
  // terminal's escape in it is refused.
  wire::Reply failed;
  failed.error = EACCES;
  failed.status = "NT_STATUS_LOGON_FAILURE";
  std::string body = wire::EncodeReply(failed).substr(wire::kHeaderBytes);
  ASSERT_TRUE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(body.data()), body.size(), &read));
  EXPECT_EQ(read.status, "NT_STATUS_LOGON_FAILURE");
  failed.status = "NT_STATUS_\x1b[2J";
  body = wire::EncodeReply(failed).substr(wire::kHeaderBytes);
  EXPECT_FALSE(wire::DecodeReply(reinterpret_cast<const unsigned char*>(body.data()), body.size(), &read));
  // A request comes through whole, password included.
  wire::Request request = Asking("PC");
  request.logon = wire::LogonKind::kPassword;
  request.user = "user";
  request.password = "secret";
  request.port = 139;
  const std::string sent = wire::EncodeRequest(request);
  wire::Request got;
  ASSERT_TRUE(wire::DecodeRequest(reinterpret_cast<const unsigned char*>(sent.data()) + 4, sent.size() - 4, &got));
  EXPECT_EQ(got.password, "secret");
  EXPECT_EQ(got.port, 139);
  EXPECT_EQ(got.logon, wire::LogonKind::kPassword);
}

// Each misbehaving helper fails its own request with its cause while the
// good ones, asked at the same time, are answered; afterwards no helper is
// left unreaped and no descriptor open.
TEST(SmbPool, AHelperThatMisbehavesFailsItsOwnRequestOnly) {
  const size_t before = OpenDescriptors();
  {
    SmbHelperPool pool(FAKE_SMB_HELPER, Quick());
    const std::vector<std::string> modes = {"ok1",       "crash",  "hang",    "ok2",       "close",
                                            "truncated", "absurd", "garbage", "oversized", "refused"};
    std::map<std::string, netinfo::HelperOutcome> outcomes;
    std::mutex mutex;
    std::vector<std::thread> threads;
    for (const std::string& mode : modes)
      threads.emplace_back([&, mode] {
        netinfo::HelperOutcome outcome = pool.Run(Asking(mode));
        const std::lock_guard<std::mutex> lock(mutex);
        outcomes[mode] = std::move(outcome);
      });
    for (std::thread& thread : threads) thread.join();

    for (const char* ok : {"ok1", "ok2"}) {
      EXPECT_EQ(outcomes[ok].failure, HelperFailure::kNone) << ok;
      ASSERT_EQ(outcomes[ok].reply.records.size(), 1u) << ok;
      EXPECT_EQ(outcomes[ok].reply.records[0].remoteName.rfind(std::string("\\\\") + ok + "\\", 0), 0u);
    }
    EXPECT_EQ(outcomes["refused"].failure, HelperFailure::kNone);
    EXPECT_EQ(outcomes["refused"].reply.error, EACCES);
    EXPECT_EQ(outcomes["crash"].failure, HelperFailure::kDied);
    EXPECT_EQ(outcomes["crash"].detail, SIGSEGV);
    EXPECT_EQ(outcomes["crash"].cause, "helper ended by signal 11");
    EXPECT_EQ(outcomes["hang"].failure, HelperFailure::kDeadline);
    EXPECT_EQ(outcomes["hang"].reply.error, ETIMEDOUT);
    EXPECT_EQ(outcomes["close"].failure, HelperFailure::kDied);
    EXPECT_EQ(outcomes["truncated"].failure, HelperFailure::kDied);
    for (const char* bad : {"absurd", "garbage", "oversized"}) {
      EXPECT_EQ(outcomes[bad].failure, HelperFailure::kMalformed) << bad;
      EXPECT_TRUE(outcomes[bad].reply.records.empty()) << bad;
    }
    for (const auto& [mode, outcome] : outcomes) {
      EXPECT_EQ(outcome.failure == HelperFailure::kNone, outcome.cause.empty()) << mode;
    }
    // Only helpers that answered are kept: one per good answer at most.
    EXPECT_LE(pool.Alive(), 3u);
    EXPECT_GE(pool.Alive(), 1u);
    EXPECT_EQ(OpenDescriptors(), before + pool.Alive());
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_TRUE(NoChildren());
}

TEST(SmbPool, KeepsAWarmHelperEndsItWhenIdleAndSaysWhenNoneStarts) {
  netinfo::SmbPoolOptions options = Quick();
  options.idleEnd = 200ms;
  SmbHelperPool pool(FAKE_SMB_HELPER, options);
  const auto first = pool.Run(Asking("ok"));
  const auto second = pool.Run(Asking("ok"));
  ASSERT_EQ(first.reply.records.size(), 1u);
  ASSERT_EQ(second.reply.records.size(), 1u);
  EXPECT_EQ(first.reply.records[0].remoteName, second.reply.records[0].remoteName);  // the same process
  EXPECT_EQ(pool.Alive(), 1u);
  // A warm helper that ended while idle (killed from outside) is never
  // handed a request: a fresh one serves it.
  const std::string warm = first.reply.records[0].remoteName;
  const pid_t warmPid = std::stoi(warm.substr(warm.rfind('\\') + 1));
  ASSERT_EQ(kill(warmPid, SIGKILL), 0);
  while (!HasEnded(warmPid)) std::this_thread::sleep_for(1ms);
  const auto third = pool.Run(Asking("ok"));
  EXPECT_EQ(third.failure, HelperFailure::kNone) << third.cause;
  ASSERT_EQ(third.reply.records.size(), 1u);
  EXPECT_NE(third.reply.records[0].remoteName, warm);
  EXPECT_EQ(pool.Alive(), 1u);
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(pool.Alive(), 0u);
  EXPECT_TRUE(NoChildren());

  SmbHelperPool missing("/nonexistent/mirelka-smb", options);
  const auto failed = missing.Run(Asking("ok"));
  EXPECT_EQ(failed.failure, HelperFailure::kCannotStart);
  EXPECT_EQ(failed.detail, ENOENT);
  EXPECT_NE(failed.cause.find("/nonexistent/mirelka-smb"), std::string::npos);
  EXPECT_NE(failed.reply.error, EACCES);  // never read as a refused logon
  EXPECT_EQ(missing.Alive(), 0u);
  EXPECT_EQ(missing.Prestart(2), 0u);

  // Helpers started ahead wait within the pool's bound and serve the
  // requests that come; none is left behind when the pool goes.
  {
    SmbHelperPool ready(FAKE_SMB_HELPER, Quick());
    EXPECT_EQ(ready.Prestart(20), Quick().maxHelpers);
    EXPECT_EQ(ready.Alive(), Quick().maxHelpers);
    EXPECT_EQ(ready.Run(Asking("ok")).reply.records.size(), 1u);
    EXPECT_EQ(ready.Alive(), Quick().maxHelpers);
  }
  EXPECT_TRUE(NoChildren());
}

// A window that closes cancels what its helpers are doing: a request to a
// hung server fails at once, long before its deadline, and its helper is
// reaped.
TEST(SmbPool, CancelAllEndsTheRequestsUnderWay) {
  netinfo::SmbPoolOptions options;
  options.deadline = 60s;
  SmbHelperPool pool(FAKE_SMB_HELPER, options);
  std::atomic<bool> over{false};
  netinfo::HelperOutcome outcome;
  std::thread asking([&] {
    outcome = pool.Run(Asking("hang"));
    over = true;
  });
  while (!over) {
    pool.CancelAll();
    std::this_thread::sleep_for(20ms);
  }
  asking.join();
  EXPECT_EQ(outcome.failure, HelperFailure::kDied);
  EXPECT_EQ(pool.Alive(), 0u);
  EXPECT_TRUE(NoChildren());
}

// Through the provider and the share tree: the row of a crashed helper is
// not listed and carries its cause; the rows around it are listed.
TEST(SmbPool, ShareTreeRowOfACrashedHelperCarriesItsCause) {
  auto provider = netinfo::MakeHelperNetProvider(FAKE_SMB_HELPER, Quick());
  netinfo::ShareTreeSteps steps;
  steps.resolve = [](const std::string&) -> netinfo::NameResolution {
    return netinfo::ResolvedHost{"127.0.0.1", netinfo::NameSource::kDns};
  };
  steps.probe = [](const std::string&) { return netinfo::SmbProbe{netinfo::SmbReach::kSmb2}; };
  std::mutex mutex;
  std::vector<std::function<void()>> posted;
  netinfo::ShareTree tree(*provider, steps, [&](std::function<void()> fn) {
    const std::lock_guard<std::mutex> lock(mutex);
    posted.push_back(std::move(fn));
  });
  std::vector<netinfo::ShareTreeRow> rows;
  bool done = false;
  ASSERT_TRUE(tree.Start({"ok1", "crash", "ok2"},
                         {[&](const netinfo::ShareTreeRow& row) { rows.push_back(row); }, [&] { done = true; }}));
  const auto until = std::chrono::steady_clock::now() + 5s;
  while (!done && std::chrono::steady_clock::now() < until) {
    std::vector<std::function<void()>> now;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      now.swap(posted);
    }
    for (auto& fn : now) fn();
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(done);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].shares);
  ASSERT_FALSE(rows[1].shares);
  const netinfo::FailureCause crashed = netinfo::CauseOf(rows[1].shares.failure());
  EXPECT_EQ(crashed.cause, netinfo::Cause::kHelperFailed);
  EXPECT_EQ(crashed.detail, "helper ended by signal 11");
  ASSERT_TRUE(rows[2].shares);
  EXPECT_EQ(rows[2].shares->size(), 1u);
}

}  // namespace
