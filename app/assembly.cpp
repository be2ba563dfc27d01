#include "assembly.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "cp932.h"
#include "cp932_codec.h"
#include "netresources.h"
#include "smb1_consent.h"
#include "uiservices.h"

discovery::ListingDeps ListingDepsFor(const Seams& seams) {
  discovery::ListingDeps d;
  d.wsDiscovery = seams.wsDiscovery;
  d.dnsSd = seams.dnsSd;
  d.nodeStatus = seams.nodeStatus;
  netinfo::NetProvider* const provider = seams.provider;
  // A browse list that cannot be read says why in the listing's status: the
  // provider's own word, else its code's name.
  d.browseList = [provider](const std::string& workgroup) -> base::Result<netinfo::ResourceList> {
    base::Result<netinfo::ResourceList> list =
        netinfo::EnumNetResources(*provider, workgroup, netinfo::kWindowsNetwork);
    if (list || !list.failure().text.empty()) return list;
    return base::Failure{list.failure().code, netinfo::CauseOfProviderCode(list.failure().code).detail};
  };
  d.browseWorkgroup = [provider] { return netinfo::FindWorkgroupName(*provider, 255); };
  d.sambaConfigPath = seams.sambaConfigPath;
  d.clock = seams.clock;
  UiServices* const ui = seams.ui;
  if (ui)
    d.wait = [ui] { ui->WaitForMessages(); };
  else
    d.wait = [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); };
  return d;
}

netinfo::ShareTreeSteps CompanionShareTreeSteps(const netlib::CompanionLibrary& library,
                                                std::function<netinfo::SmbProbe(const std::string&)> probe) {
  netinfo::ShareTreeSteps steps;
  steps.resolve = [&library](const std::string& name) { return netlib::ResolveName(library, name); };
  if (probe) {
    steps.probe = std::move(probe);
    return steps;
  }
  // Without a probe a port that accepts is taken as SMB; the provider tells
  // the rest.
  steps.probe = [&library](const std::string& address) {
    netinfo::SmbProbe answer;
    answer.reach = netlib::Reaches(library, address).ok() ? netinfo::SmbReach::kSmb2 : netinfo::SmbReach::kNoAnswer;
    return answer;
  };
  return steps;
}

namespace {

// The window's share tree steps: the companion's, and SMB1 where the user
// allows it for the computer, asked on the window's thread.
netinfo::ShareTreeSteps WindowSteps(const Seams& seams, const netlib::CompanionLibrary& library) {
  netinfo::ShareTreeSteps steps = CompanionShareTreeSteps(library, seams.smbProbe);
  Smb1Consents* const consents = seams.consents;
  if (!consents || !seams.provider || !seams.provider->CanAllowSmb1()) return steps;
  netinfo::PromptRelay* const relay = seams.loginRelay;
  UiServices* const ui = seams.ui;
  steps.allowSmb1 = [consents, relay, ui](const std::string& name, const netinfo::ResolvedHost& where) {
    if (consents->Allowed(name, where)) return true;
    if (!relay || !ui || !consents->FirstAsking(name)) return false;
    const QString question =
        QString::fromStdString(cp932::ToUtf8(name)) +
        QStringLiteral(" は古い SMB1 でしか接続できません。このコンピュータに限り SMB1 を使いますか？");
    const bool yes = relay->OnOwner<bool>(
        [ui, question] { return ui->Question(question, QStringLiteral("SMB1 を使う"), QStringLiteral("使わない")); },
        false);
    // Kept for later runs; a file that cannot be written still lets this one go.
    if (yes) static_cast<void>(consents->Allow(name, where));
    return yes;
  };
  return steps;
}

}  // namespace

Engines::Engines(Seams s)
    : seams(std::move(s)),
      library(*seams.dynlib),
      calls(seams.startThread),
      listing(ListingDepsFor(seams)),
      // The share tree resolves computer names, and checks that a computer
      // answers, through the library as the rest of the window does, on its
      // workers; the library's calls are safe from several threads at once.
      shareTree(*seams.provider, WindowSteps(seams, library),
                [this](std::function<void()> fn) { calls.Post(std::move(fn)); }) {}

Engines::~Engines() { Shutdown(); }

void Engines::Shutdown(const std::function<void()>& beforeFree) {
  // A worker waiting for the login dialog would hold the joins below.
  if (seams.loginRelay) seams.loginRelay->Close();
  // The workers go before the library they call.
  shareTree.Stop();
  calls.JoinAll();
  if (beforeFree) beforeFree();
  library.FreeLibrary();
}

base::Status Engines::LoadLibrary() { return LoadCompanion(library, seams.libraryName); }

bool Engines::CanDiagnose() const { return seams.provider != nullptr; }

netinfo::Diagnosis Engines::Diagnose(const std::string& name) const {
  // A diagnosis never asks: SMB1 only where a consent is kept.
  netinfo::ShareTreeSteps steps = CompanionShareTreeSteps(library, seams.smbProbe);
  if (Smb1Consents* const consents = seams.consents; consents && seams.provider->CanAllowSmb1())
    steps.allowSmb1 = [consents](const std::string& computer, const netinfo::ResolvedHost& where) {
      return consents->Allowed(computer, where);
    };
  return netinfo::Diagnose(*seams.provider, steps, name);
}

void ExitNow(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

void EndAtOnceIfReadsRun(int code, int waitMs) {
  if (!discovery::Listing::WaitForReads(waitMs)) ExitNow(code);
}

base::Status LoadCompanion(netlib::CompanionLibrary& library, const std::string& file) {
  // The first line is what the window says; the system's reason follows
  // for the command line.
  if (const base::Status loaded = library.Load(file.c_str()); !loaded)
    return base::Failure{
        kCompanionNotLoaded,
        cp932::EncodeLossy(
            QCoreApplication::translate("assembly", "Cannot load %1").arg(QString::fromLocal8Bit(file.c_str()))) +
            "\n" + loaded.failure().text};
  QStringList lacking;
  for (const std::string& name : library.BindEntryPoints())
    lacking << QCoreApplication::translate("assembly", "The library has no %1 function").arg(QString::fromLatin1(name));
  if (!lacking.isEmpty())
    return base::Failure{kCompanionLacksEntryPoints, cp932::EncodeLossy(lacking.join(QLatin1Char('\n')))};
  return base::Ok();
}

PlatformBackends::PlatformBackends(Want want)
    : sockets(netinfo::MakePlatformSockets()), dynlib(netlib::MakePlatformDynamicLibrary()) {
  if (want.provider) {
    provider = netinfo::MakePlatformNetProvider();
    if (want.dialog) {
      prompt = std::make_unique<netinfo::PromptRelay>(*want.dialog);
      keyring = netinfo::MakeKeyringStore();
      if (keyring) store = std::make_unique<netinfo::StoreRelay>(*keyring, *prompt);
      login = std::make_unique<netinfo::Authenticator>(store.get(), prompt.get());
      provider->SetLogin(login.get());
    }
  }
  if (!want.sources) return;
  wsDiscovery = discovery::MakeWsDiscovery();
  dnsSd = discovery::MakeDnsSd();
  nodeStatus = discovery::MakeNodeStatus();
}

PlatformBackends::~PlatformBackends() {
  // A question still waiting is answered "cancelled" before its owner goes.
  if (prompt) prompt->Close();
}

Seams PlatformBackends::SeamsFor(UiServices* ui) const {
  Seams s;
  s.ui = ui;
  s.provider = provider.get();
  s.sockets = sockets.get();
  s.dynlib = dynlib.get();
  s.libraryName = netlib::LibraryFileName();
  s.wsDiscovery = wsDiscovery.get();
  s.dnsSd = dnsSd.get();
  s.nodeStatus = nodeStatus.get();
  s.loginRelay = prompt.get();
  s.smbProbe = [](const std::string& address) { return netinfo::ProbeSmb(address); };
  return s;
}
