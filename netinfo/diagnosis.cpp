#include "diagnosis.h"

#include <chrono>

namespace netinfo {

namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point since) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

const char* LayerName(Layer layer) {
  switch (layer) {
    case Layer::kName:
      return "name";
    case Layer::kTcp:
      return "tcp";
    case Layer::kNegotiate:
      return "negotiate";
    case Layer::kLogon:
      return "logon";
    case Layer::kShares:
      return "shares";
  }
  return "name";
}

Diagnosis Diagnose(NetProvider& provider, const ShareTreeSteps& steps, const std::string& name,
                   const std::atomic<bool>* stopped) {
  auto over = [stopped] { return stopped && stopped->load(); };
  Diagnosis d;
  d.name = name;
  auto since = Clock::now();
  if (steps.resolve) d.address = steps.resolve(name);
  d.layers.push_back({Layer::kName, d.address.ok(), MsSince(since)});
  if (!d.address) {
    d.failure = {Cause::kNameNotFound, NameMethodsAsked(name)};
    return d;
  }
  // A name that does not resolve is not listed: the provider is not asked
  // to resolve it a second time.
  if (over()) return d;
  const ResolvedHost host = *d.address;
  HostLookup lookup;
  lookup.resolve = [host](const std::string&) { return std::optional(host); };
  if (steps.probe) {
    // One bounded exchange says whether the rest can work: a silent, refusing
    // or hung computer ends here, within the probe's bound rather than the
    // helper's deadline.
    d.probe = steps.probe(host.address);
    const bool connected = d.probe.reach != SmbReach::kNoAnswer && d.probe.reach != SmbReach::kRefused;
    d.layers.push_back({Layer::kTcp, connected, d.probe.connectMs});
    if (connected) {
      const bool speaks = d.probe.reach == SmbReach::kSmb2 || d.probe.reach == SmbReach::kSmb1Only;
      d.layers.push_back({Layer::kNegotiate, speaks && d.probe.reach != SmbReach::kSmb1Only, d.probe.negotiateMs});
    }
    if (d.probe.reach == SmbReach::kSmb1Only && steps.allowSmb1 && !over() && steps.allowSmb1(name, host)) {
      // The consent lets the rest go on: the negotiate layer counts as passed.
      d.layers.back().ok = true;
      lookup.allowSmb1 = d.smb1 = true;
    } else if (const FailureCause cause = ProbeCause(d.probe); cause.cause != Cause::kNone) {
      d.failure = cause;
      return d;
    }
  }
  if (over()) return d;
  since = Clock::now();
  base::Result<NamedResourceList> shares = EnumNamedResources(provider, "\\\\" + name, lookup);
  const int ms = MsSince(since);
  d.attempts = provider.LastAttempts();
  if (shares) {
    d.listed = true;
    d.shares = std::move(shares).value();
    d.layers.push_back({Layer::kLogon, true, ms});
    d.layers.push_back({Layer::kShares, true, 0});
    return d;
  }
  // The provider says why on this thread; one that cannot tell gives its code.
  d.failure = provider.LastFailureCause();
  if (d.failure.cause == Cause::kNone) d.failure = CauseOfProviderCode(shares.failure().code);
  // The logon passed when the server let it through and refused the list.
  const bool loggedOn = d.failure.cause == Cause::kListDenied || d.failure.cause == Cause::kStalled;
  d.layers.push_back({Layer::kLogon, loggedOn, ms});
  if (loggedOn) d.layers.push_back({Layer::kShares, false, 0});
  return d;
}

}  // namespace netinfo
