#pragma once
// The one place that makes the window's engines and, for the program and the
// LAN tools, the platform's backends: main.cpp, the LAN tools and the window
// tests all assemble through here, so what the window is given is made once.
#include <memory>
#include <string>

#include "Unit1.h"
#include "companion.h"
#include "listing.h"
#include "netprovider.h"
#include "offthread.h"
#include "share_tree.h"
#include "sockets.h"
#include "source.h"

class UiServices;
namespace netinfo {
class PromptRelay;
}

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
  discovery::Clock* clock = nullptr;
  // How the off-thread calls start a thread; empty: std::thread.
  OffThreadCalls::StartThread startThread;
};

// The listing engine's dependencies over the seams: the sources, the browse
// list read through the provider, the Samba configuration, and the wait on
// the window's pump (with no ui: on Qt's event loop directly).
discovery::ListingDeps ListingDepsFor(const Seams& seams);

// The share tree's steps through the companion library, which must outlive
// them: its resolver and its reachability check, safe from several threads.
netinfo::ShareTreeSteps CompanionShareTreeSteps(const netlib::CompanionLibrary& library);

// The engines the window calls. Made on the window's thread before the
// window and destroyed after it; the window loads the library at start-up
// and stops the share tree and the calls when it closes.
class Engines {
 public:
  explicit Engines(Seams seams);
  ~Engines();
  Engines(const Engines&) = delete;
  Engines& operator=(const Engines&) = delete;

  // What the window is given, with its list file.
  TForm1Deps FormDeps(std::string listFilePath, std::string oldListFilePath = {});

  const Seams seams;
  netlib::CompanionLibrary library;
  OffThreadCalls calls;
  discovery::Listing listing;
  netinfo::ShareTree shareTree;
};

// The platform's backends, owned: provider, sockets, library loader, and the
// sources beside the browse list unless left out (benchmarks on the test LAN).
struct PlatformBackends {
  explicit PlatformBackends(bool withSources = true);
  ~PlatformBackends();
  // Seams over these backends for the window's services; the local Samba
  // configuration is the caller's to name.
  Seams SeamsFor(UiServices* ui) const;

  std::unique_ptr<netinfo::NetProvider> provider;
  std::unique_ptr<netinfo::SocketsInfo> sockets;
  std::unique_ptr<netlib::DynamicLibrary> dynlib;
  std::unique_ptr<discovery::Source> wsDiscovery;
  std::unique_ptr<discovery::Source> dnsSd;
  std::unique_ptr<discovery::WorkgroupQuery> nodeStatus;
};
