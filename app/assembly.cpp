#include "assembly.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "netresources.h"
#include "uiservices.h"

discovery::ListingDeps ListingDepsFor(const Seams& seams) {
  discovery::ListingDeps d;
  d.wsDiscovery = seams.wsDiscovery;
  d.dnsSd = seams.dnsSd;
  d.nodeStatus = seams.nodeStatus;
  netinfo::NetProvider* const provider = seams.provider;
  // The listing keeps only whether the browse list could be read.
  d.browseList = [provider](const std::string& workgroup) {
    return netinfo::EnumNetResources(*provider, workgroup, netinfo::kWindowsNetwork).optional();
  };
  d.browseWorkgroup = [provider] { return netinfo::FindWorkgroupName(*provider, 255).optional(); };
  d.sambaConfigPath = seams.sambaConfigPath;
  d.clock = seams.clock;
  UiServices* const ui = seams.ui;
  if (ui)
    d.wait = [ui] { ui->WaitForMessages(); };
  else
    d.wait = [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); };
  return d;
}

netinfo::ShareTreeSteps CompanionShareTreeSteps(const netlib::CompanionLibrary& library) {
  netinfo::ShareTreeSteps steps;
  steps.resolve = [&library](const std::string& name) {
    const base::Result<netinfo::ResolvedHost> host = netlib::ResolveName(library, name);
    netinfo::NameResolution resolution;
    if (host) resolution.host = *host;
    // The address column shows the address, or why there is none.
    resolution.text = host ? host->address : host.failure().text;
    return resolution;
  };
  steps.reachable = [&library](const std::string& address) { return netlib::Reaches(library, address); };
  return steps;
}

Engines::Engines(Seams s)
    : seams(std::move(s)),
      library(*seams.dynlib),
      calls(seams.startThread),
      listing(ListingDepsFor(seams)),
      // The share tree resolves computer names, and checks that a computer
      // answers, through the library as the rest of the window does, on its
      // workers; the library's calls are safe from several threads at once.
      shareTree(*seams.provider, CompanionShareTreeSteps(library),
                [this](std::function<void()> fn) { calls.Post(std::move(fn)); }) {}

Engines::~Engines() {
  // The workers go before the library they call.
  shareTree.Stop();
  calls.JoinAll();
}

TForm1Deps Engines::FormDeps(std::string listFilePath, std::string oldListFilePath) {
  TForm1Deps deps;
  deps.ui = seams.ui;
  deps.sockets = seams.sockets;
  deps.library = &library;
  deps.libraryName = seams.libraryName;
  deps.listFilePath = std::move(listFilePath);
  deps.oldListFilePath = std::move(oldListFilePath);
  deps.listing = &listing;
  deps.shareTree = &shareTree;
  deps.calls = &calls;
  deps.loginRelay = seams.loginRelay;
  deps.clock = seams.clock;
  return deps;
}

void ExitNow(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(code);
}

void EndAtOnceIfReadsRun(int code, int waitMs) {
  if (!discovery::Listing::WaitForReads(waitMs)) ExitNow(code);
}

base::Status LoadCompanion(netlib::CompanionLibrary& library) {
  const std::string file = netlib::LibraryFileName();
  if (!library.Load(file.c_str())) return base::Failure{1, "cannot load " + file};
  std::string lacking;
  for (const std::string& name : library.BindEntryPoints()) lacking += (lacking.empty() ? "" : ", ") + name;
  if (!lacking.empty()) return base::Failure{2, file + " lacks " + lacking};
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
  return s;
}
