#include "smb1_consent.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "cp932_bytes.h"
#include "cp932_codec.h"
#include "smb_auth.h"

namespace {

std::string Key(const std::string& name) { return cp932::UpperAscii(name); }

constexpr int kMaxEntries = 1024;

}  // namespace

Smb1Consents::Smb1Consents(std::string path) : path_(std::move(path)) {}

std::string Smb1ConsentPath(const std::string& listFilePath) {
  const QFileInfo list(QString::fromLocal8Bit(listFilePath.c_str()));
  return list.dir().filePath(QStringLiteral("mirelka-settings.json")).toLocal8Bit().toStdString();
}

base::Status Smb1Consents::Load() {
  const std::lock_guard<std::mutex> lock(mutex_);
  allowed_.clear();
  unreadable_ = false;
  QFile file(QString::fromLocal8Bit(path_.c_str()));
  if (!file.exists()) return base::Ok();
  auto ignored = [this](const char* why) {
    unreadable_ = true;
    allowed_.clear();
    return base::Failure{1, cp932::FromUtf8Lossy(std::string("設定ファイルを読めないため無視しました (") + why + ")")};
  };
  if (!file.open(QIODevice::ReadOnly)) return ignored("open");
  // A settings file is small; anything larger is not ours.
  const QByteArray bytes = file.read(1 << 20);
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return ignored("format");
  const QJsonValue list = document.object().value(QStringLiteral("smb1"));
  if (!list.isUndefined() && !list.isArray()) return ignored("format");
  for (const QJsonValue& entry : list.toArray()) {
    const QJsonObject o = entry.toObject();
    const std::string name = cp932::FromUtf8Lossy(o.value(QStringLiteral("name")).toString().toStdString());
    const std::string address = o.value(QStringLiteral("address")).toString().toStdString();
    const std::optional<netinfo::NameSource> source =
        netinfo::NameSourceNamed(o.value(QStringLiteral("source")).toString().toStdString());
    if (name.empty() || name.size() > 255 || address.size() > 15 || !source) return ignored("entry");
    if (allowed_.size() >= kMaxEntries) break;
    allowed_[Key(name)] = netinfo::ResolvedHost{address, *source};
  }
  return base::Ok();
}

bool Smb1Consents::Allowed(const std::string& name, const netinfo::ResolvedHost& where) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto it = allowed_.find(Key(name));
  return it != allowed_.end() && netinfo::MayOffer(it->second, where);
}

bool Smb1Consents::Kept(const std::string& name) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return allowed_.count(Key(name)) > 0;
}

base::Status Smb1Consents::Allow(const std::string& name, const netinfo::ResolvedHost& where) {
  const std::lock_guard<std::mutex> lock(mutex_);
  allowed_[Key(name)] = where;
  return Save();
}

base::Status Smb1Consents::Withdraw(const std::string& name) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (allowed_.erase(Key(name)) == 0) return base::Ok();
  return Save();
}

bool Smb1Consents::FirstAsking(const std::string& name) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return asked_.insert(Key(name)).second;
}

base::Status Smb1Consents::Save() {
  const QString path = QString::fromLocal8Bit(path_.c_str());
  // A file that could not be read is kept beside, never overwritten unseen.
  if (unreadable_ && QFile::exists(path)) {
    QFile::remove(path + QStringLiteral(".bad"));
    QFile::rename(path, path + QStringLiteral(".bad"));
  }
  unreadable_ = false;
  QJsonArray list;
  for (const auto& [key, host] : allowed_) {
    list.append(QJsonObject{{QStringLiteral("name"), QString::fromStdString(cp932::ToUtf8(key))},
                            {QStringLiteral("address"), QString::fromStdString(host.address)},
                            {QStringLiteral("source"), QLatin1String(netinfo::NameSourceName(host.source))}});
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(QJsonDocument(QJsonObject{{QStringLiteral("smb1"), list}}).toJson()) < 0 || !file.commit())
    return base::Failure{2, cp932::FromUtf8Lossy("設定ファイルに書き込めません: " + file.errorString().toStdString())};
  return base::Ok();
}
