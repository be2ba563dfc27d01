#pragma once
// The one place that makes the engines and the platform's backends: the
// window, the subcommands, the LAN tools and the window tests all assemble
// through here, so what each is given is made once. Qt Core only: the
// window's own part (TForm1Deps) is made from Engines in gui/formdeps.h.
#include <memory>
#include <string>

#include "result.h"
#include "companion.h"
#include "credentials.h"
#include "diagnosis.h"
#include "listing.h"
#include "netprovider.h"
#include "offthread.h"
#include "prompt_relay.h"
#include "share_tree.h"
#include "smb_auth.h"
#include "sockets.h"
#include "source.h"

class UiServices;
class Smb1Consents;

// What the engines are made over: the platform's backends, or fakes.
struct Seams {
  UiServices* ui = nullptr;
  netinfo::NetProvider* provider = nullptr;
  netinfo::SocketsInfo* sockets = nullptr;
  netlib::DynamicLibrary* dynlib = nullptr;
  std::string libraryName;  // bare file name of the companion library
  // Sources beside the browse list; null where a platform has none.
  discovery::Source* wsDiscovery = nullptr;
  discovery::Source* dnsSd = nullptr;
  // Asks a computer found without a workgroup for its workgroup; null: not asked.
  discovery::WorkgroupQuery* nodeStatus = nullptr;
  std::string sambaConfigPath;  // the local Samba configuration; empty: none
  // The login dialog as the provider's workers reach it; null: none to relay.
  netinfo::PromptRelay* loginRelay = nullptr;
  // The listing engine's and the connection watch's time; null: the real clock.
  base::Clock* clock = nullptr;
  // How the off-thread calls start a thread; empty: std::thread.
  OffThreadCalls::StartThread startThread;
  // What the share tree asks of a computer's SMB ports (netinfo::ProbeSmb);
  // empty: the companion's connection check alone, which tells only whether
  // a port accepts.
  std::function<netinfo::SmbProbe(const std::string& address)> smbProbe;
  // The user's SMB1 consents; with a login relay and ui the share tree asks
  // for one, once per computer, where a computer speaks only SMB1 and the
  // provider can use it. Null: SMB1 is never used.
  Smb1Consents* consents = nullptr;
};

// The listing engine's dependencies over the seams: the sources, the browse
// list read through the provider, the Samba configuration, and the wait on
// the window's pump (with no ui: on Qt's event loop directly).
discovery::ListingDeps ListingDepsFor(const Seams& seams);

// The share tree's steps through the companion library, which must outlive
// them: its resolver, and probe, or else its connection check; safe from
// several threads.
netinfo::ShareTreeSteps CompanionShareTreeSteps(const netlib::CompanionLibrary& library,
                                                std::function<netinfo::SmbProbe(const std::string&)> probe = {});

// The engines the window calls. Made on the window's thread before the
// window and destroyed after it; the window has them load the library at
// start-up and shut down when it closes.
class Engines {
 public:
  explicit Engines(Seams seams);
  ~Engines();
  Engines(const Engines&) = delete;
  Engines& operator=(const Engines&) = delete;

  // Loads the companion library by the seams' file name and binds its entry
  // points (LoadCompanion).
  base::Status LoadLibrary();
  // Ends the work under way, each part within its own bound, then frees the
  // library: a question waiting on the login relay is answered "cancelled",
  // the share tree stops (its workers joined), the off-thread calls are
  // joined and their results not yet delivered dropped; beforeFree (which
  // must not throw) runs last while the library is still loaded. The window
  // calls it as it closes; the destructor calls it again, which does nothing
  // more.
  void Shutdown(const std::function<void()>& beforeFree = {});

  // One computer layer by layer (netinfo::Diagnose), over the same steps as
  // the share tree but never asking: SMB1 only where a consent is kept.
  // Blocking and bounded; only with a provider.
  bool CanDiagnose() const;
  netinfo::Diagnosis Diagnose(const std::string& name) const;

  const Seams seams;
  netlib::CompanionLibrary library;
  OffThreadCalls calls;
  discovery::Listing listing;
  netinfo::ShareTree shareTree;
};

// Ends the process at once with code, its output flushed, without the
// destructors an exit runs.
[[noreturn]] void ExitNow(int code);

// For the end of main() and of a subcommand: the listing's browse reads are
// detached and end at the provider's own bound; one still running after
// waitMs would race with the destructors an exit runs (the codec's tables,
// the provider), so the process then ends at once with code, without them.
void EndAtOnceIfReadsRun(int code, int waitMs);

// How loading the companion library failed (base::Failure::code).
enum CompanionLoad : int {
  kCompanionNotLoaded = 1,         // the file could not be loaded
  kCompanionLacksEntryPoints = 2,  // loaded, but required entry points are missing
};

// Loads the companion library by its bare file name and binds its entry
// points. The failure's text (the translation's language) names the file,
// then gives the system's reason on a line of its own (kCompanionNotLoaded),
// or names each entry point the library lacks, one a line
// (kCompanionLacksEntryPoints): the window shows each such line in a box.
base::Status LoadCompanion(netlib::CompanionLibrary& library, const std::string& file = netlib::LibraryFileName());

// The dialog's place in the logon sequence where there is no dialog (the
// subcommands): every question is answered "cancelled", so a computer that
// the ticket, the keyring and guest cannot open is reported as refused.
class NoDialog final : public netinfo::LoginPrompt {
 public:
  std::optional<netinfo::LoginAnswer> Ask(const netinfo::LoginRequest&) override { return std::nullopt; }
};

// Which of the platform's backends to make: the subcommands make only what
// their command uses, so that nothing else starts or sends.
struct Want {
  bool provider = true;
  bool sources = true;  // WS-Discovery, DNS-SD, node status
  // The logon sequence's last step (the login dialog, or NoDialog); with it
  // the provider is given the whole sequence over the platform's keyring.
  // Null: the provider logs on as guest alone, or its caller sets a login.
  netinfo::LoginPrompt* dialog = nullptr;
};

// The platform's backends, owned: provider, sockets, library loader, the
// sources beside the browse list unless left out (benchmarks on the test
// LAN), and the logon sequence when a dialog is named. Made on the thread
// that runs the Qt application's event loop (the keyring's jobs live there).
struct PlatformBackends {
  explicit PlatformBackends(Want want);
  explicit PlatformBackends(bool withSources = true) : PlatformBackends(Want{true, withSources, nullptr}) {}
  ~PlatformBackends();
  // Seams over these backends for the window's services, the login relay
  // included; the local Samba configuration is the caller's to name.
  Seams SeamsFor(UiServices* ui) const;

  // Logon: a Kerberos ticket, this session's, the keyring's (when the desktop
  // has one), guest, then the dialog; the dialog and the keyring are reached
  // from the provider's workers through the relay, which the thread that
  // owns them opens (the window in FormCreate, the subcommands at once).
  // Made before the provider and gone after it.
  std::unique_ptr<netinfo::PromptRelay> prompt;
  std::unique_ptr<netinfo::CredentialStore> keyring;
  std::unique_ptr<netinfo::StoreRelay> store;
  std::unique_ptr<netinfo::Authenticator> login;

  std::unique_ptr<netinfo::NetProvider> provider;
  std::unique_ptr<netinfo::SocketsInfo> sockets;
  std::unique_ptr<netlib::DynamicLibrary> dynlib;
  std::unique_ptr<discovery::Source> wsDiscovery;
  std::unique_ptr<discovery::Source> dnsSd;
  std::unique_ptr<discovery::WorkgroupQuery> nodeStatus;
};
