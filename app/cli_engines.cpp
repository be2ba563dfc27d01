#include "cli_engines.h"

#include <QCoreApplication>

namespace cli {

Engines::~Engines() {
  // A question still waiting is answered "cancelled" before its owner goes.
  if (prompt) prompt->Close();
}

std::unique_ptr<Engines> Assemble(const Want& want) {
  auto e = std::make_unique<Engines>();
  if (want.provider) {
    e->provider = netinfo::MakePlatformNetProvider();
    if (want.login) {
      e->prompt = std::make_unique<netinfo::PromptRelay>(e->noDialog);
      e->prompt->Open([](std::function<void()> fn) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
      });
      e->keyring = netinfo::MakeKeyringStore();
      if (e->keyring) e->store = std::make_unique<netinfo::StoreRelay>(*e->keyring, *e->prompt);
      e->login = std::make_unique<netinfo::Authenticator>(e->store.get(), e->prompt.get());
      e->provider->SetLogin(e->login.get());
    }
  }
  if (want.library) {
    e->dynlib = netlib::MakePlatformDynamicLibrary();
    e->library = std::make_unique<netlib::CompanionLibrary>(*e->dynlib);
    if (!e->library->Load(netlib::LibraryFileName())) {
      e->libraryError = std::string("cannot load ") + netlib::LibraryFileName();
    } else {
      for (const std::string& name : e->library->BindEntryPoints())
        e->libraryError += (e->libraryError.empty() ? std::string() : std::string(", ")) + name;
      if (!e->libraryError.empty())
        e->libraryError = std::string(netlib::LibraryFileName()) + " lacks " + e->libraryError;
    }
  }
  if (want.sources) {
    e->wsDiscovery = discovery::MakeWsDiscovery();
    e->dnsSd = discovery::MakeDnsSd();
    e->nodeStatus = discovery::MakeNodeStatus();
  }
  return e;
}

}  // namespace cli
