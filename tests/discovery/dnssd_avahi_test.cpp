// The avahi-daemon source's own thread, through the Source seam with the
// real code, its bus pointed at a socket that is not there: the thread runs
// while the source lives and is gone when the source is.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "dnssd.h"

namespace {

// Threads of this process that Avahi's thread's name names.
int AvahiThreads() {
  int count = 0;
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "mirelka-avahi") ++count;
  }
  return count;
}

TEST(AvahiDnsSd, ThreadEndsWithTheSource) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Never the machine's own bus: its daemon would browse the real network.
  qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(dir.filePath(QStringLiteral("no-bus"))));
  ASSERT_EQ(AvahiThreads(), 0);
  for (int round = 0; round < 3; ++round) {
    std::unique_ptr<discovery::Source> source = discovery::MakeAvahiDnsSd();
    EXPECT_TRUE(QTest::qWaitFor([] { return AvahiThreads() == 1; }, 5000));
    // A search finds no daemon (at once, once the source has heard so); a
    // follower is kept for when one comes.
    std::optional<discovery::Outcome> outcome;
    const discovery::Outcome opened = source->Start(
        60000, [](const discovery::Finding&) {}, [&](discovery::Outcome o) { outcome = o; });
    if (opened != discovery::Outcome::Answered) outcome = opened;
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 5000));
    EXPECT_EQ(outcome, discovery::Outcome::NoDaemon);
    EXPECT_TRUE(source->Follow([](const discovery::Finding&) {}, [](const std::string&) {}));
    source.reset();
    // Joined: only the kernel's last steps of the thread's exit may remain.
    EXPECT_TRUE(QTest::qWaitFor([] { return AvahiThreads() == 0; }, 1000)) << "round " << round;
  }
}

}  // namespace
