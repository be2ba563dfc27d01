#pragma once
// A diagnosis of one computer's share listing, layer by layer: the name, TCP
// on 445 and 139, the SMB negotiate, the logon, the share list. It stops at
// the first layer that fails and says which cause ended it. The same steps
// as a share tree row (share_tree.h), timed and kept. Blocking and bounded;
// call from a worker thread.
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
  std::string name;                      // as given (code page 932)
  std::vector<LayerResult> layers;       // in order, up to the first that failed
  NameResolution address;                // the name layer's answer
  SmbProbe probe;                        // the TCP and negotiate layers' answer
  std::vector<AttemptOutcome> attempts;  // the logon layer's, in order
  bool smb1 = false;                     // listed over SMB1, with the user's consent
  size_t shares = 0;                     // the share list's size when listed
  FailureCause failure;                  // kNone: the shares were listed
};

// Diagnoses name with the share tree's steps (its allowSmb1 decides SMB1,
// which never asks: a diagnosis uses only a consent already given) through
// provider, which applies its own logon rules.
Diagnosis Diagnose(NetProvider& provider, const ShareTreeSteps& steps, const std::string& name);

// Short ASCII name of a layer ("name", "tcp", "negotiate", "logon", "shares").
const char* LayerName(Layer layer);

}  // namespace netinfo
