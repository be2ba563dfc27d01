#include "causes.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include "cp932_codec.h"
#include "mirelka.h"
#include "share_tree.h"

namespace causes {

using netinfo::Cause;

QString What(Cause cause, const std::string& detail) {
  switch (cause) {
    case Cause::kNone:
      break;
    case Cause::kNameNotFound:
      return QCoreApplication::translate("causes", "The name was not found (asked: %1)")
          .arg(QString::fromStdString(detail));
    case Cause::kNoAnswer:
      return QCoreApplication::translate("causes", "No answer at the address");
    case Cause::kPortsRefused:
      return QCoreApplication::translate("causes", "File sharing is not running (ports 445 and 139 refused)");
    case Cause::kHung:
      return QCoreApplication::translate("causes", "No answer (the server hangs)");
    case Cause::kNotSmb:
      return QCoreApplication::translate("causes", "Not an SMB file server");
    case Cause::kSmb1Only:
      return QCoreApplication::translate("causes", "Speaks only the old SMB1");
    case Cause::kLogonNeeded:
      return QCoreApplication::translate("causes", "A logon is needed (guests are refused)");
    case Cause::kLogonRefused:
      return QCoreApplication::translate("causes",
                                         "The logon was refused (wrong password, or a locked or expired account)");
    case Cause::kLoginHeldBack:
      return QCoreApplication::translate("causes",
                                         "The saved login was held back (the computer answers from another address)");
    case Cause::kListDenied:
      return QCoreApplication::translate("causes", "The share list was denied after the logon");
    case Cause::kStalled:
      return QCoreApplication::translate("causes", "The server stopped answering during the listing");
    case Cause::kHelperFailed:
      return QCoreApplication::translate("causes", "The SMB library failed for this computer");
    case Cause::kFailed:
      return QCoreApplication::translate("causes", "The shares could not be listed");
  }
  return {};
}

QString ToDo(Cause cause, bool withDialog, bool smb1Offer) {
  switch (cause) {
    case Cause::kNone:
      break;
    case Cause::kNameNotFound:
      return QCoreApplication::translate("causes", "Check the spelling, or use the address");
    case Cause::kNoAnswer:
      return QCoreApplication::translate("causes", "Check that the computer is on and connected");
    case Cause::kPortsRefused:
      return QCoreApplication::translate("causes", "Turn on file sharing there, or check its firewall");
    case Cause::kHung:
      return QCoreApplication::translate("causes", "Restart that computer or its file service");
    case Cause::kNotSmb:
      return QCoreApplication::translate("causes", "Check that the address is the right computer");
    case Cause::kSmb1Only:
      return smb1Offer ? QCoreApplication::translate(
                             "causes", "Turn on SMB2 or later on the device, or allow SMB1 for this computer alone")
                       : QCoreApplication::translate("causes", "Turn on SMB2 or later on the device");
    case Cause::kLogonNeeded:
      return withDialog
                 ? QCoreApplication::translate("causes", "Enter a user name and password")
                 : QCoreApplication::translate(
                       "causes", "Save a login in the keyring or get a Kerberos ticket: the command line never asks");
    case Cause::kLogonRefused:
      return QCoreApplication::translate("causes", "Check the user name and password");
    case Cause::kLoginHeldBack:
      return QCoreApplication::translate("causes", "Make sure it is the right computer, then enter the login");
    case Cause::kListDenied:
      return QCoreApplication::translate("causes", "Ask the administrator for the right to list its shares");
    case Cause::kStalled:
      return QCoreApplication::translate("causes", "Wait a while and try again");
    case Cause::kHelperFailed:
    case Cause::kFailed:
      return QCoreApplication::translate("causes", "Try again; diagnose the connection to see where it fails");
  }
  return {};
}

QString LookupFailure(int code, bool reverse, const std::string& query) {
  switch (code) {
    case MIRELKA_NOT_FOUND:
      return reverse ? QCoreApplication::translate("causes", "No name was found for the address")
                     : What(Cause::kNameNotFound, netinfo::NameMethodsAsked(query));
    case MIRELKA_BAD_INPUT:
      return QCoreApplication::translate("causes", "Not a valid name or address");
    default:
      return QCoreApplication::translate("causes", "The lookup failed (code %1)").arg(code);
  }
}

QString SourceWords(netinfo::NameSource source) {
  switch (source) {
    case netinfo::NameSource::kDotted:
      return QCoreApplication::translate("causes", "an address");
    case netinfo::NameSource::kDns:
      return QStringLiteral("DNS");
    case netinfo::NameSource::kNetbios:
      return QStringLiteral("NetBIOS");
    case netinfo::NameSource::kMdns:
      return QStringLiteral("mDNS");
    case netinfo::NameSource::kLlmnr:
      return QStringLiteral("LLMNR");
    case netinfo::NameSource::kSystem:
      return QCoreApplication::translate("causes", "the system's resolver");
  }
  return {};
}

namespace {

QString T(const char* text) { return QCoreApplication::translate("causes", text); }

// The dialect a negotiate answer named.
QString Dialect(uint16_t dialect) {
  switch (dialect) {
    case 0x0100:
      return QStringLiteral("SMB1 (NT LM 0.12)");
    case 0x0202:
      return QStringLiteral("SMB 2.0.2");
    case 0x0210:
      return QStringLiteral("SMB 2.1");
    case 0x02FF:
      return QStringLiteral("SMB 2.1+");
    case 0x0300:
      return QStringLiteral("SMB 3.0");
    case 0x0302:
      return QStringLiteral("SMB 3.0.2");
    case 0x0311:
      return QStringLiteral("SMB 3.1.1");
    default:
      return QStringLiteral("SMB 0x%1").arg(dialect, 4, 16, QLatin1Char('0'));
  }
}

QString Way(netinfo::AttemptOutcome::Way way) {
  switch (way) {
    case netinfo::AttemptOutcome::Way::kTicket:
      return T(QT_TRANSLATE_NOOP("causes", "Kerberos ticket"));
    case netinfo::AttemptOutcome::Way::kPassword:
      return T(QT_TRANSLATE_NOOP("causes", "login"));
    case netinfo::AttemptOutcome::Way::kAnonymous:
      return T(QT_TRANSLATE_NOOP("causes", "guest"));
  }
  return {};
}

QString Attempts(const std::vector<netinfo::AttemptOutcome>& attempts) {
  QStringList parts;
  for (const netinfo::AttemptOutcome& a : attempts) {
    if (a.error == 0) {
      parts << T(QT_TRANSLATE_NOOP("causes", "%1 accepted")).arg(Way(a.way));
    } else {
      const std::string detail = a.status.empty() ? netinfo::ErrnoName(a.error) : a.status;
      parts << T(QT_TRANSLATE_NOOP("causes", "%1 refused (%2)")).arg(Way(a.way), QString::fromStdString(detail));
    }
  }
  return parts.join(QStringLiteral(", "));
}

}  // namespace

QString LayerText(const netinfo::Diagnosis& d, const netinfo::LayerResult& layer) {
  using netinfo::Layer;
  using netinfo::SmbReach;
  QString text;
  switch (layer.layer) {
    case Layer::kName:
      if (layer.ok && d.address->source == netinfo::NameSource::kDotted) {
        text = T(QT_TRANSLATE_NOOP("causes", "name: %1 is an address")).arg(QString::fromStdString(d.address->address));
        break;
      }
      text = layer.ok ? T(QT_TRANSLATE_NOOP("causes", "name: %1 is %2 (by %3)"))
                            .arg(QString::fromStdString(cp932::ToUtf8(d.name)),
                                 QString::fromStdString(d.address->address), SourceWords(d.address->source))
                      : T(QT_TRANSLATE_NOOP("causes", "name: not found (asked: %1)"))
                            .arg(QString::fromStdString(d.failure.detail));
      break;
    case Layer::kTcp:
      if (layer.ok)
        text = d.probe.refused445 ? T(QT_TRANSLATE_NOOP("causes", "TCP: 445 refused, %1 accepted")).arg(d.probe.port)
                                  : T(QT_TRANSLATE_NOOP("causes", "TCP: %1 accepted")).arg(d.probe.port);
      else
        text = d.probe.reach == SmbReach::kRefused ? T(QT_TRANSLATE_NOOP("causes", "TCP: 445 and 139 refused"))
                                                   : T(QT_TRANSLATE_NOOP("causes", "TCP: no answer on 445 or 139"));
      break;
    case Layer::kNegotiate:
      if (d.probe.reach == SmbReach::kHung)
        text = T(QT_TRANSLATE_NOOP("causes", "SMB negotiate: no answer (hung)"));
      else if (d.probe.reach == SmbReach::kNotSmb)
        text = T(QT_TRANSLATE_NOOP("causes", "SMB negotiate: the answer is not SMB"));
      else if (d.probe.reach == SmbReach::kSmb1Only && !d.smb1)
        text = T(QT_TRANSLATE_NOOP("causes", "SMB negotiate: %1 only, which is off")).arg(Dialect(d.probe.dialect));
      else
        text = T(QT_TRANSLATE_NOOP("causes", "SMB negotiate: %1, signing %2"))
                   .arg(Dialect(d.probe.dialect), d.probe.signingRequired
                                                      ? T(QT_TRANSLATE_NOOP("causes", "required"))
                                                      : T(QT_TRANSLATE_NOOP("causes", "not required")));
      break;
    case Layer::kLogon:
      text = T(QT_TRANSLATE_NOOP("causes", "logon: %1"))
                 .arg(d.attempts.empty() ? T(QT_TRANSLATE_NOOP("causes", "no attempt")) : Attempts(d.attempts));
      if (d.failure.cause == netinfo::Cause::kLoginHeldBack)
        text += QStringLiteral(", ") + T(QT_TRANSLATE_NOOP("causes", "a saved login held back"));
      break;
    case Layer::kShares:
      if (layer.ok) {
        const int count = static_cast<int>(d.shares.size());
        text = QCoreApplication::translate("causes", "share list: %n share(s)", nullptr, count);
      } else {
        text = T(QT_TRANSLATE_NOOP("causes", "share list: failed (%1)")).arg(QString::fromStdString(d.failure.detail));
      }
      break;
  }
  return text;
}

QStringList DiagnosisLines(const netinfo::Diagnosis& diagnosis, bool withDialog, bool smb1Offer) {
  QStringList lines;
  for (const netinfo::LayerResult& layer : diagnosis.layers)
    lines << QStringLiteral("%1 %2 ms  %3")
                 .arg(layer.ok ? QStringLiteral("OK") : QStringLiteral("NG"))
                 .arg(layer.ms, 5)
                 .arg(LayerText(diagnosis, layer));
  if (diagnosis.listed) {
    lines << T(QT_TRANSLATE_NOOP("causes", "The shares can be listed."));
  } else {
    lines << What(diagnosis.failure.cause, diagnosis.failure.detail);
    lines << ToDo(diagnosis.failure.cause, withDialog, smb1Offer);
  }
  return lines;
}

bool InstallTranslation(bool japanese) {
  if (!japanese) return false;
  // One translator for the life of the application.
  static QTranslator* translator = nullptr;
  if (translator) return true;
  auto* loaded = new QTranslator(QCoreApplication::instance());
  if (!loaded->load(QStringLiteral(":/i18n/mirelka_ja.qm"))) {
    delete loaded;
    return false;
  }
  QCoreApplication::installTranslator(loaded);
  translator = loaded;
  return true;
}

bool JapaneseLocale() { return QLocale().language() == QLocale::Japanese; }

}  // namespace causes
