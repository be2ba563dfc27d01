// Computers that refuse guests, on the test LAN of testlan.sh: LOCKED (no
// guest, no anonymous listing, one user), DROPPER (drops the connection
// mid-logon), VAULT (as LOCKED, found by NetBIOS) with SPOOFER ready to
// answer for its name, and, where the LAN has one, the domain controller ADDC. The
// real window, provider and keyring (a private gnome-keyring under
// keyring-session.sh); only the login dialog is scripted.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <qt6keychain/keychain.h>
#include <set>

#include "TListView.h"
#include "Unit1.h"
#include "app_fixture.h"
#include "credentials.h"
#include "fake_credentials.h"
#include "launcher.h"
#include "prompt_relay.h"
#include "smb_auth.h"

namespace {

// LOCKED's one user, as testlan.sh adds it.
const char* const kUser = "daemon";
const char* const kPassword = "Locked-Pass-7";
const QString kCannotList = QStringLiteral("のリソースを取得できません");
const char* const kVaultPassword = "Vault-Pass-7";

// Every logon SPOOFER's smbd was offered, as its audit log lines.
QStringList SpooferLogons() {
  QStringList lines;
  for (QDirIterator it(QString::fromLocal8Bit(qgetenv("MLK_LAN_DIR")) + "/h/SPOOFER/log", {"log.*"}, QDir::Files);
       it.hasNext();) {
    QFile file(it.next());
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : file.readAll().split('\n'))
      if (line.contains("Auth: [")) lines.append(QString::fromUtf8(line));
  }
  return lines;
}

// What the user does in the desktop's keyring manager: deletes the program's
// entry for the computer (service "Mirelka", key "smb://HOST"). True when the
// entry is gone.
bool DeleteInKeyring(const std::string& host) {
  auto* job = new QKeychain::DeletePasswordJob(QStringLiteral("Mirelka"));
  job->setKey(QString::fromStdString(netinfo::KeyForHost(host)));
  QEventLoop loop;
  QKeychain::Error error = QKeychain::OtherError;
  QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
    error = done->error();
    loop.quit();
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  job->start();
  loop.exec();
  return error == QKeychain::NoError || error == QKeychain::EntryNotFound;
}

// The dialog step, scripted: answers in turn, then Cancel.
class ScriptedPrompt final : public netinfo::LoginPrompt {
 public:
  ScriptedPrompt& Answer(const std::string& user, const std::string& password, bool save = false) {
    answers_.push_back({{user, netinfo::Secret(password.data(), password.size()), std::nullopt}, save});
    return *this;
  }
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest& request) override {
    asked.push_back(request);
    if (answers_.empty()) return std::nullopt;
    netinfo::LoginAnswer answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
  }
  std::vector<netinfo::LoginRequest> asked;

 private:
  std::deque<netinfo::LoginAnswer> answers_;
};

// One program run: its own session (authenticator), provider and window.
struct Session {
  Session(netinfo::CredentialStore* store, const std::string& listFile)
      : relay(prompt),
        storeRelay(store ? std::make_unique<netinfo::StoreRelay>(*store, relay) : nullptr),
        login(storeRelay.get(), &relay),
        platform(false) {
    platform.provider->SetLogin(&login);
    Seams seams = platform.SeamsFor(&ui);
    seams.loginRelay = &relay;  // the dialog and the keyring on the window's thread, as in the program
    engines = std::make_unique<Engines>(seams);
    deps = FormDepsFor(*engines, listFile);
  }
  ~Session() {
    window.reset();
    discovery::Listing::WaitForReads(10000);  // a browse read the window left uses the provider
  }
  // Opens the window with these rows, builds the tree, returns computer ->
  // shares for each computer listed.
  std::map<QString, std::set<QString>> Tree(const QStringList& rows) {
    if (!window) window = std::make_unique<TForm1>(deps);
    window->ListView3->clear();
    for (const QString& row : rows) window->ListView3->AddRow(row, {QString()});
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->Status() == QStringLiteral("終了"); }, 30000));
    std::map<QString, std::set<QString>> tree;
    for (int i = 0; i < window->TreeView1->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* node = window->TreeView1->topLevelItem(i);
      if (node->data(0, Qt::UserRole + 2).isValid()) continue;  // not listed: a greyed node with its cause
      auto& shares = tree[node->text(0)];
      for (int j = 0; j < node->childCount(); ++j) shares.insert(node->child(j)->text(0));
    }
    return tree;
  }

  ScriptedPrompt prompt;
  netinfo::PromptRelay relay;
  std::unique_ptr<netinfo::StoreRelay> storeRelay;  // the keyring, also on the window's thread
  netinfo::Authenticator login;
  RecordingUi ui;
  PlatformBackends platform;  // without the sources beside the browse list, which the tree needs not
  std::unique_ptr<Engines> engines;
  TForm1Deps deps;
  std::unique_ptr<TForm1> window;
};

using Tree = std::map<QString, std::set<QString>>;

class LanLogin : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  std::string ListFile() const { return dir_.filePath("mirelka.ini").toStdString(); }
  std::unique_ptr<Session> NewSession(netinfo::CredentialStore* store = nullptr) {
    return std::make_unique<Session>(store, ListFile());
  }
  QTemporaryDir dir_;
};

TEST_F(LanLogin, GuestRefusedTheDialogOpensItOncePerSession) {
  auto s = NewSession();
  s->prompt.Answer(kUser, kPassword);
  const Tree tree = s->Tree({"LOCKED", "MEMBER1"});
  EXPECT_EQ(tree.at("LOCKED"), std::set<QString>{"locked data"});  // admin$ and IPC$ stay hidden
  EXPECT_EQ(tree.count("MEMBER1"), 1u);
  ASSERT_EQ(s->prompt.asked.size(), 1u);
  EXPECT_EQ(s->prompt.asked[0].host, "LOCKED");
  EXPECT_TRUE(s->ui.boxes.isEmpty()) << s->ui.boxes.join(" | ").toStdString();

  EXPECT_EQ(s->Tree({"LOCKED"}).at("LOCKED"), std::set<QString>{"locked data"});
  EXPECT_EQ(s->prompt.asked.size(), 1u);  // this session's credentials

  // The file manager may be told the user, never the password; the status
  // text, the boxes and the list file never see it.
  const UserForHost userFor = [&](const std::string& host) { return s->login.UserFor(host); };
  const QByteArray url = SmbUrlForCommandLine(ExplorerCommandLine("\\\\LOCKED\\locked data"), userFor);
  EXPECT_EQ(url, QByteArray("smb://daemon@LOCKED/locked%20data"));
  EXPECT_FALSE(s->window->Status().contains(kPassword));
  s->window.reset();  // writes the list file
  QFile list(QString::fromStdString(ListFile()));
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  EXPECT_FALSE(list.readAll().contains(kPassword));
}

TEST_F(LanLogin, WrongPasswordAsksAgainCancelGivesTheBoxAndTheBuildGoesOn) {
  auto s = NewSession();
  s->prompt.Answer(kUser, "wrong");  // then Cancel
  const Tree tree = s->Tree({"LOCKED", "MEMBER2"});
  EXPECT_EQ(tree.count("LOCKED"), 0u);
  EXPECT_EQ(tree.at("MEMBER2"), (std::set<QString>{"team docs", "tools"}));
  ASSERT_EQ(s->prompt.asked.size(), 2u);
  EXPECT_EQ(s->prompt.asked[1].reason, netinfo::LoginRequest::Reason::kWrongCredentials);
  EXPECT_EQ(s->ui.boxes, QStringList{"LOCKED" + kCannotList});
  EXPECT_EQ(s->window->Status(), QStringLiteral("終了"));

  // Three wrong tries in one click, then the box; the right answer waiting
  // in fourth place is not asked for.
  s->prompt.Answer(kUser, "no1").Answer(kUser, "no2").Answer("TESTGROUP\\daemon", "no3").Answer(kUser, kPassword);
  EXPECT_EQ(s->Tree({"LOCKED"}).count("LOCKED"), 0u);
  EXPECT_EQ(s->prompt.asked.size(), 5u);
  EXPECT_EQ(s->ui.boxes.size(), 2);
}

TEST_F(LanLogin, UserNameFormsAndBadInput) {
  struct Case {
    const char* user;
    std::string password;
    bool opens;
  };
  const Case cases[] = {
      {"TESTGROUP\\daemon", kPassword, true},
      {"daemon@LOCKED", kPassword, true},
      {"daemon", "パス🔑ワード", false},  // CP932 and emoji: sent, refused
      {"daemon", "", false},             // empty password: sent, refused
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + (" / " + c.password));
    auto s = NewSession();
    s->prompt.Answer(c.user, c.password);
    EXPECT_EQ(s->Tree({"LOCKED"}).count("LOCKED"), c.opens ? 1u : 0u);
    EXPECT_EQ(s->prompt.asked.size(), c.opens ? 1u : 2u);
  }
}

TEST_F(LanLogin, ServerDroppingTheConnectionMidLogonGetsTheBoxWithoutADialog) {
  auto s = NewSession();
  s->prompt.Answer(kUser, kPassword);
  QElapsedTimer clock;
  clock.start();
  const Tree tree = s->Tree({"DROPPER", "MEMBER1"});
  EXPECT_LT(clock.elapsed(), 10000);
  EXPECT_EQ(tree.count("DROPPER"), 0u);
  EXPECT_EQ(tree.count("MEMBER1"), 1u);
  EXPECT_TRUE(s->prompt.asked.empty());
  EXPECT_EQ(s->ui.boxes, QStringList{"DROPPER" + kCannotList});
}

TEST_F(LanLogin, KeyringKeepsTheCredentialsAcrossRunsUntilTheEntryIsDeleted) {
  const auto keyring = netinfo::MakeKeyringStore(10000);
  if (!keyring->Available()) GTEST_SKIP() << "no Secret Service: run under keyring-session.sh";
  DeleteInKeyring("LOCKED");

  auto first = NewSession(keyring.get());
  first->prompt.Answer(kUser, kPassword, true);
  EXPECT_EQ(first->Tree({"LOCKED"}).count("LOCKED"), 1u);
  ASSERT_EQ(first->prompt.asked.size(), 1u);
  EXPECT_TRUE(first->prompt.asked[0].canSave);
  first.reset();

  auto second = NewSession(keyring.get());  // the program started again
  EXPECT_EQ(second->Tree({"LOCKED"}).at("LOCKED"), std::set<QString>{"locked data"});
  EXPECT_TRUE(second->prompt.asked.empty());
  second.reset();

  // Stored in the keyring's own (encrypted) file, nowhere in plain text.
  for (QDirIterator it(QString::fromLocal8Bit(qgetenv("HOME")), QDir::Files | QDir::Hidden,
                       QDirIterator::Subdirectories);
       it.hasNext();) {
    QFile file(it.next());
    if (file.size() < (1 << 24) && file.open(QIODevice::ReadOnly)) {
      EXPECT_FALSE(file.readAll().contains(kPassword)) << file.fileName().toStdString();
    }
  }

  ASSERT_TRUE(DeleteInKeyring("LOCKED"));
  auto third = NewSession(keyring.get());
  EXPECT_EQ(third->Tree({"LOCKED"}).count("LOCKED"), 0u);  // asked, cancelled
  EXPECT_EQ(third->prompt.asked.size(), 1u);
}

TEST_F(LanLogin, SavedLoginNeverGoesToAHostThatAnswersForTheComputersName) {
  const char* script = std::getenv("MLK_LAN_SCRIPT");
  if (!script) GTEST_SKIP() << "needs testlan.sh (run-e2e.sh)";
  const auto keyring = netinfo::MakeKeyringStore(10000);
  fakes::FakeCredentialStore memory;
  netinfo::CredentialStore* store = keyring->Available() ? keyring.get() : &memory;
  const auto forget = [&] { store == &memory ? void(memory.entries.clear()) : void(DeleteInKeyring("VAULT")); };
  forget();

  auto first = NewSession(store);
  first->prompt.Answer(kUser, kVaultPassword, true);
  ASSERT_EQ(first->Tree({"VAULT"}).count("VAULT"), 1u) << first->ui.boxes.join(" | ").toStdString();
  first.reset();
  auto again = NewSession(store);  // the program started again: the same address, no dialog
  EXPECT_EQ(again->Tree({"VAULT"}).count("VAULT"), 1u);
  EXPECT_TRUE(again->prompt.asked.empty());
  again.reset();

  // VAULT is switched off; SPOOFER answers NetBIOS, LLMNR and mDNS for it.
  ASSERT_EQ(std::system(("'" + std::string(script) + "' spoof VAULT").c_str()), 0);
  auto spoofed = NewSession(store);
  EXPECT_EQ(spoofed->Tree({"VAULT"}).count("VAULT"), 0u);  // asked, cancelled
  ASSERT_EQ(spoofed->prompt.asked.size(), 1u);
  const netinfo::LoginRequest& asked = spoofed->prompt.asked[0];
  EXPECT_EQ(asked.user, kUser);
  EXPECT_EQ(asked.boundAddress, "10.231.0.18");
  EXPECT_EQ(asked.address, "10.231.0.68");
  const QStringList logons = SpooferLogons();
  EXPECT_FALSE(logons.isEmpty()) << "the guest try is audited too";
  EXPECT_TRUE(logons.filter("[daemon]").isEmpty()) << logons.join("\n").toStdString();

  // The audit does catch a logon once one is offered: the user types the
  // password for that host after all.
  spoofed->prompt.Answer(kUser, kVaultPassword);
  spoofed->Tree({"VAULT"});
  EXPECT_FALSE(SpooferLogons().filter("[daemon]").isEmpty());
  forget();
}

TEST_F(LanLogin, KerberosTicketOpensTheDomainControllerWithoutADialog) {
  const QByteArray client = qgetenv("MLK_LAN_DIR") + "/client";
  if (!QFile::exists(client + "/krb5cc")) GTEST_SKIP() << "the LAN has no domain controller (see testlan.sh)";
  // ADDC refuses guests: without the ticket it takes the dialog.
  auto without = NewSession();
  EXPECT_EQ(without->Tree({"ADDC"}).count("ADDC"), 0u);
  EXPECT_EQ(without->prompt.asked.size(), 1u);

  qputenv("KRB5_CONFIG", client + "/krb5.conf");
  qputenv("KRB5CCNAME", "FILE:" + client + "/krb5cc");
  struct Unset {
    ~Unset() {
      qunsetenv("KRB5CCNAME");
      qunsetenv("KRB5_CONFIG");
    }
  } unset;
  auto with = NewSession();
  const Tree tree = with->Tree({"ADDC"});
  ASSERT_EQ(tree.count("ADDC"), 1u) << with->ui.boxes.join(" | ").toStdString();
  EXPECT_EQ(tree.at("ADDC"), (std::set<QString>{"netlogon", "sysvol"}));
  EXPECT_TRUE(with->prompt.asked.empty());
  EXPECT_EQ(with->login.UserFor("ADDC"), "");  // the ticket names the user, not us
}

}  // namespace
