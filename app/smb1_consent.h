#pragma once
// The user's consent to use SMB1 for one old computer that speaks nothing
// newer, kept in a settings file beside the list file (whose format is
// fixed). A consent is bound to the computer as a saved login is
// (netinfo::MayOffer): the address it was given at, or any address the
// computer's DNS name gives; a name that now answers from elsewhere carries
// no consent. Safe to ask from the share tree's workers.
#include <mutex>
#include <optional>
#include <set>
#include <map>
#include <string>

#include "netprovider.h"
#include "result.h"

class Smb1Consents {
 public:
  // path: the settings file (created on the first consent).
  explicit Smb1Consents(std::string path);

  // Reads the file. A missing file holds no consent; one that cannot be
  // read or is not the file's format is ignored, and the failure says so
  // (code page 932, for the status line). It is kept aside when a consent
  // is saved over it.
  base::Status Load();

  // Whether SMB1 may be used for the computer name (code page 932) reached
  // as where.
  bool Allowed(const std::string& name, const netinfo::ResolvedHost& where) const;
  // Whether any consent is kept for name.
  bool Kept(const std::string& name) const;
  // Keeps a consent for name bound to where, and saves the file.
  base::Status Allow(const std::string& name, const netinfo::ResolvedHost& where);
  // Drops name's consent and saves the file.
  base::Status Withdraw(const std::string& name);

  // Whether name has been asked about in this session (the window asks once
  // per computer); marks it asked.
  bool FirstAsking(const std::string& name);

 private:
  base::Status Save();

  const std::string path_;
  mutable std::mutex mutex_;
  std::map<std::string, netinfo::ResolvedHost> allowed_;  // by the name upper-cased
  std::set<std::string> asked_;
  bool unreadable_ = false;  // the file on disk is not ours to overwrite unkept
};

// The settings file beside a list file.
std::string Smb1ConsentPath(const std::string& listFilePath);
