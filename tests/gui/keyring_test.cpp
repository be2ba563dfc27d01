// The Secret Service keyring without a session bus: nothing is saved, and
// nothing is written to a file instead.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "credentials.h"

namespace {

TEST(KeyringStore, WithoutAKeyringNothingIsSavedAnywhere) {
  QTemporaryDir home;
  const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS"), oldHome = qgetenv("HOME"),
                   config = qgetenv("XDG_CONFIG_HOME");
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.filePath("no-bus").toLocal8Bit());
  qputenv("HOME", home.path().toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", home.filePath(".config").toLocal8Bit());
  {
    const auto store = netinfo::MakeKeyringStore(5000);
    EXPECT_FALSE(store->Available());
    EXPECT_FALSE(store->Save("PC01", {"alice", netinfo::Secret("pw", 2), std::nullopt}));
    EXPECT_FALSE(store->Load("PC01"));
  }
  for (const auto& [name, value] :
       {std::pair{"DBUS_SESSION_BUS_ADDRESS", bus}, {"HOME", oldHome}, {"XDG_CONFIG_HOME", config}})
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
  EXPECT_TRUE(QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

}  // namespace
