// The credential store over QtKeychain: the Secret Service (GNOME Keyring,
// KeePassXC) or KWallet, whichever the desktop runs. Entries live under the
// service "Mirelka" with the key "smb://HOST". The library's plaintext
// fallback is never turned on: where no keyring answers, nothing is saved.
#include <QByteArray>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include "credentials.h"

namespace netinfo {
namespace {

const QString kService = QStringLiteral("Mirelka");

// Wipes a byte array that this code alone holds (a shared one would detach
// and the original would stay).
void Wipe(QByteArray& bytes) {
  if (!bytes.isEmpty()) WipeBytes(bytes.data(), static_cast<size_t>(bytes.size()));
  bytes.clear();
}

// What a finished job left: its error and, for a read, the entry's bytes.
struct Outcome {
  QKeychain::Error error = QKeychain::OtherError;
  QByteArray data;
  ~Outcome() { Wipe(data); }
};

class KeyringStore final : public CredentialStore {
 public:
  explicit KeyringStore(int timeoutMs) : timeoutMs_(timeoutMs) {}

  bool Available() override {
    if (!probed_) {
      // Reading an entry nobody writes tells whether a keyring answers.
      Outcome outcome = Run(new QKeychain::ReadPasswordJob(kService), QStringLiteral("smb://"));
      available_ = outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound;
      probed_ = true;
    }
    return available_;
  }

  std::optional<Credentials> Load(const std::string& host) override {
    if (!Available()) return std::nullopt;
    Outcome outcome = Run(new QKeychain::ReadPasswordJob(kService), Key(host));
    if (outcome.error != QKeychain::NoError) return std::nullopt;
    return UnpackCredentials(std::string(outcome.data.constData(), static_cast<size_t>(outcome.data.size())));
  }

  bool Save(const std::string& host, const Credentials& credentials) override {
    if (!Available()) return false;
    auto* job = new QKeychain::WritePasswordJob(kService);
    {
      const Secret packed = PackCredentials(credentials);
      job->setBinaryData(QByteArray(packed.bytes().data(), static_cast<qsizetype>(packed.size())));
    }
    return Run(job, Key(host)).error == QKeychain::NoError;
  }

 private:
  static QString Key(const std::string& host) { return QString::fromUtf8(KeyForHost(host)); }

  // Starts the job and waits for it, at most timeoutMs. User input is held
  // back meanwhile, so no handler of the window runs inside this wait. The
  // job deletes itself when done, also when it outlives the wait.
  Outcome Run(QKeychain::Job* job, const QString& key) {
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    Outcome outcome;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
      finished = true;
      outcome.error = done->error();
      if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) outcome.data = read->binaryData();
      loop.quit();
    });
    QTimer::singleShot(timeoutMs_, &loop, &QEventLoop::quit);
    job->start();
    if (!finished) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!finished) available_ = false;  // a keyring that does not answer in time is taken as none
    return outcome;
  }

  int timeoutMs_;
  bool probed_ = false;
  bool available_ = false;
};

}  // namespace

std::unique_ptr<CredentialStore> MakeKeyringStore(int timeoutMs) { return std::make_unique<KeyringStore>(timeoutMs); }

}  // namespace netinfo
