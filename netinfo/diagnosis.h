#pragma once
// A diagnosis of one computer's share listing, layer by layer: the name, TCP
// on 445 and 139, the SMB negotiate, the logon, the share list. It stops at
// the first layer that fails and says which cause ended it. The same steps
// as a share tree row (share_tree.h), timed and kept. Blocking and bounded;
// call from a worker thread.
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "failure_cause.h"
#include "netprovider.h"
#include "share_tree.h"

namespace netinfo {

enum class Layer { kName, kTcp, kNegotiate, kLogon, kShares };

struct LayerResult {
  Layer layer = Layer::kName;
  bool ok = false;
  int ms = 0;  // the time this layer took
};

struct Diagnosis {
  std::string name;                          // as given (code page 932)
  std::vector<LayerResult> layers;           // in order, up to the first that failed
  NameResolution address = base::Failure{};  // the name layer's answer; not asked yet
  SmbProbe probe;                            // the TCP and negotiate layers' answer
  std::vector<AttemptOutcome> attempts;      // the logon layer's, in order
  bool smb1 = false;                         // listed over SMB1, with the user's consent
  bool listed = false;                       // the shares were read
  NamedResourceList shares;                  // in the provider's order, when listed
  FailureCause failure;                      // why not listed; kNone when listed or stopped
};

// Diagnoses name with the share tree's steps (its allowSmb1 decides SMB1)
// through provider, which applies its own logon rules. The share tree's rows
// are these same steps; once *stopped holds, no further step begins.
Diagnosis Diagnose(NetProvider& provider, const ShareTreeSteps& steps, const std::string& name,
                   const std::atomic<bool>* stopped = nullptr);

// Short ASCII name of a layer ("name", "tcp", "negotiate", "logon", "shares").
const char* LayerName(Layer layer);

}  // namespace netinfo
