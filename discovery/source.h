#pragma once
// Sources that find computers beside the browse list (WS-Discovery, DNS-SD),
// each behind this small interface so the window can be tested with fakes.
// Everything runs on the thread of Qt's event loop: a source sends, then
// reports what it finds from the loop until its window closes.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace discovery {

// Where a finding came from.
enum class Origin { BrowseList, WsDiscovery, DnsSd, NodeStatus };

// What a source says about a computer beyond its name: the peer's own text,
// unchecked and shown only as plain text, each field cut to kMaxDetailChars.
struct Details {
  static constexpr size_t kMaxDetailChars = 128;
  static constexpr size_t kMaxNetbiosNames = 16;
  std::string manufacturer, model, friendlyName, presentationUrl;  // UTF-8
  std::string mac;                                                 // "00:11:22:33:44:55"; empty when unknown
  struct NetbiosName {
    std::string name;  // code page 932 bytes, trailing spaces removed
    int type = 0;      // the suffix byte
    bool group = false;
  };
  std::vector<NetbiosName> netbiosNames;
  bool Empty() const {
    return manufacturer.empty() && model.empty() && friendlyName.empty() && presentationUrl.empty() && mac.empty() &&
           netbiosNames.empty();
  }
  // Fills what this one lacks from other.
  void Add(const Details& other);
};

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
  Details details;
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

  // For the searches Start begins from now on: settled() once a search
  // expects nothing more (the answers to its last question are due by then
  // and nothing it began is still under way), while its window stays open
  // for late answers. An owner that stops at that point (the command line's
  // one-shot listing) sets it; a search then asks at the quicker pace its
  // early end calls for. Sources whose searches end as soon as they have
  // their answers never call it: done() says it.
  using Settled = std::function<void()>;
  virtual void WhenSettled(Settled settled) { (void)settled; }

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
  // While answer() runs: what else that answer said (its names, the
  // adapter's address); null when the query keeps nothing more.
  virtual const Details* AnswerDetails() const { return nullptr; }
};

// The platform's sources: WS-Discovery everywhere; DNS-SD through the
// desktop's mDNS daemon where it answers, else over multicast DNS queries of
// Mirelka's own (dnssd.h).
std::unique_ptr<Source> MakeWsDiscovery();
std::unique_ptr<Source> MakeDnsSd();
std::unique_ptr<WorkgroupQuery> MakeNodeStatus();

}  // namespace discovery
