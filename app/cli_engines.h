#pragma once
// What the subcommands run on: the platform's provider, sources, companion
// library and logon, assembled here in one function for the command line
// alone. The window assembles the same parts in main(); both are meant to
// come from one place in time.
#include <memory>
#include <string>

#include "companion.h"
#include "credentials.h"
#include "netprovider.h"
#include "prompt_relay.h"
#include "smb_auth.h"
#include "source.h"

namespace cli {

// The dialog's place in the logon sequence, without a dialog: every question
// is answered "cancelled", so a computer that the ticket, the keyring and
// guest cannot open is reported as refused.
class NoDialog final : public netinfo::LoginPrompt {
 public:
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest&) override { return std::nullopt; }
};

struct Engines {
  // Logon: the keyring (when the desktop has one) and the cancelling prompt,
  // both reached through the relay from the share tree's workers.
  NoDialog noDialog;
  std::unique_ptr<netinfo::PromptRelay> prompt;
  std::unique_ptr<netinfo::CredentialStore> keyring;
  std::unique_ptr<netinfo::StoreRelay> store;
  std::unique_ptr<netinfo::Authenticator> login;

  std::unique_ptr<netinfo::NetProvider> provider;
  std::unique_ptr<netlib::DynamicLibrary> dynlib;
  std::unique_ptr<netlib::CompanionLibrary> library;
  std::string libraryError;  // empty: loaded with every entry point

  std::unique_ptr<discovery::Source> wsDiscovery;
  std::unique_ptr<discovery::Source> dnsSd;
  std::unique_ptr<discovery::WorkgroupQuery> nodeStatus;

  ~Engines();
};

struct Want {
  bool provider = false;
  bool login = false;    // the keyring and the logon sequence (needs provider)
  bool library = false;  // the companion library
  bool sources = false;  // WS-Discovery, DNS-SD, node status
};

// Assembles what want names, on the calling thread, which must run the Qt
// application's event loop (the keyring's jobs and the prompt live there).
std::unique_ptr<Engines> Assemble(const Want& want);

}  // namespace cli
