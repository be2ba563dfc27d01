#pragma once
// Sources that find computers beside the browse list (WS-Discovery, DNS-SD),
// each behind this small interface so the window can be tested with fakes.
// Everything runs on the thread of Qt's event loop: a source sends, then
// reports what it finds from the loop until its window closes.
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace discovery {

// Where a finding came from.
enum class Origin { BrowseList, WsDiscovery, DnsSd, NodeStatus };

// One computer as one source saw it. Texts are code page 932 bytes.
struct Finding {
  Finding(Origin o = Origin::BrowseList, std::string n = {}, std::string a = {}, std::string w = {}, std::string k = {})
      : origin(o), name(std::move(n)), address(std::move(a)), workgroup(std::move(w)), key(std::move(k)) {}
  Origin origin = Origin::BrowseList;
  std::string name;       // the computer's name, no backslashes; never empty
  std::string address;    // IPv4 or IPv6 text; empty when the source gives none
  std::string workgroup;  // workgroup or domain; empty when unknown
  // The computer's identity within its source (a WS-Discovery endpoint, a
  // DNS-SD service); empty: its name.
  std::string key;
  // The name as the peer sent it (UTF-8); empty when the source gives only
  // bytes (the browse list, node status). A name code page 932 cannot hold
  // is kept only here, and the computer listed under its address.
  std::string text;
};

// How one search ended.
enum class Outcome {
  Answered,     // ran its window; found() was called at least once
  NoAnswer,     // ran its window; nothing found
  NoInterface,  // no interface to send on
  NoSocket,     // no socket could be opened
  NoDaemon,     // the service it needs is not running
};

// True when the outcome means the source could not ask at all.
inline bool CouldNotRun(Outcome o) {
  return o == Outcome::NoInterface || o == Outcome::NoSocket || o == Outcome::NoDaemon;
}

class Source {
 public:
  using Found = std::function<void(const Finding&)>;
  using Done = std::function<void(Outcome)>;
  using Gone = std::function<void(const std::string& key)>;
  virtual ~Source() = default;

  // Starts one search that lasts at most windowMs. found() is called for
  // each computer from the event loop; done() exactly once, at the latest
  // when the window closes, and nothing after it. When the source cannot ask
  // at all, Start returns that outcome and calls neither; otherwise it
  // returns Outcome::Answered. A running search is cancelled first.
  virtual Outcome Start(int windowMs, Found found, Done done) = 0;
  // Ends a running search at once; done() is not called.
  virtual void Cancel() = 0;

  // Follows announcements between searches, until the next Follow or the
  // source's end: found() for a computer that announces itself, gone() with
  // the key of one that says it leaves. Both are called from the event loop.
  // False when the source has nothing to follow or cannot listen now.
  virtual bool Follow(Found found, Gone gone) {
    (void)found;
    (void)gone;
    return false;
  }
};

// Asks single computers which workgroup they belong to, by unicast to the
// address a source gave (NetBIOS node status, UDP 137; never broadcast).
class WorkgroupQuery {
 public:
  // A sound answer from address: the workgroup (or domain) it names, bytes.
  using Answer = std::function<void(const std::string& address, const std::string& workgroup)>;
  virtual ~WorkgroupQuery() = default;

  // Opens a round that lasts at most windowMs; answer() is called from the
  // event loop, never after the round ends. A running round is cancelled first.
  virtual void Begin(int windowMs, Answer answer) = 0;
  // Asks address (IPv4 text) once in this round; false when it is not asked
  // (not a unicast IPv4 address, asked already, no round, no socket).
  virtual bool Ask(const std::string& address) = 0;
  // True while a question of this round is neither answered nor given up.
  virtual bool Waiting() const = 0;
  // Ends the round at once; nothing is reported after it.
  virtual void Cancel() = 0;
};

// The platform's sources: WS-Discovery everywhere; DNS-SD through the
// desktop's mDNS daemon where there is one (null elsewhere).
std::unique_ptr<Source> MakeWsDiscovery();
std::unique_ptr<Source> MakeDnsSd();
std::unique_ptr<WorkgroupQuery> MakeNodeStatus();

}  // namespace discovery
