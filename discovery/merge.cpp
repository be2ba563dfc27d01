#include "merge.h"

#include <algorithm>

#include "names.h"

namespace discovery {

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); });
}

}  // namespace

Merge::Merge(std::string workgroup) : workgroup_(std::move(workgroup)) {}

Merge::Computer* Merge::Find(const Finding& f) {
  return const_cast<Computer*>(static_cast<const Merge*>(this)->Find(f));
}

const Merge::Computer* Merge::Find(const Finding& f) const {
  for (const Computer& c : computers_) {
    if (Contains(c.names, f.name)) return &c;
    if (!f.address.empty() && std::find(c.addresses.begin(), c.addresses.end(), f.address) != c.addresses.end())
      return &c;
  }
  return nullptr;
}

bool Merge::Placed(const Finding& f) const {
  const Computer* c = Find(f);
  return c && c->workgroup;
}

bool Merge::Listed(const Computer& c) const { return c.workgroup && SameName(*c.workgroup, workgroup_); }

std::optional<std::string> Merge::Add(const Finding& f) {
  if (f.name.empty()) return std::nullopt;
  std::optional<std::string> workgroup;
  if (f.origin == Origin::BrowseList)
    workgroup = workgroup_;
  else if (!f.workgroup.empty())
    workgroup = f.workgroup;

  Computer* c = Find(f);
  if (!c) {
    computers_.emplace_back();
    c = &computers_.back();
    c->names.push_back(f.name);
  } else if (!Contains(c->names, f.name)) {
    c->names.push_back(f.name);
  }
  if (!f.address.empty() && std::find(c->addresses.begin(), c->addresses.end(), f.address) == c->addresses.end())
    c->addresses.push_back(f.address);
  if (std::find(c->origins.begin(), c->origins.end(), f.origin) == c->origins.end()) c->origins.push_back(f.origin);
  // The first source that knows the workgroup decides it.
  if (!c->workgroup && workgroup) c->workgroup = workgroup;

  if (c->shown || !Listed(*c)) return std::nullopt;
  c->shown = true;
  ++rows_;
  return c->names.front();
}

std::vector<std::string> Merge::Finish() {
  std::vector<std::string> rows;
  for (Computer& c : computers_) {
    if (c.shown || c.workgroup) continue;
    c.shown = true;
    ++rows_;
    rows.push_back(c.names.front());
  }
  return rows;
}

int Merge::Elsewhere(Origin origin) const {
  return static_cast<int>(std::count_if(computers_.begin(), computers_.end(), [&](const Computer& c) {
    return c.workgroup && !Listed(c) && std::find(c.origins.begin(), c.origins.end(), origin) != c.origins.end();
  }));
}

std::string MostReportedWorkgroup(const std::vector<Finding>& findings) {
  std::vector<std::pair<std::string, int>> counts;
  for (const Finding& f : findings) {
    if (f.workgroup.empty()) continue;
    auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& p) { return SameName(p.first, f.workgroup); });
    if (it == counts.end())
      counts.emplace_back(f.workgroup, 1);
    else
      ++it->second;
  }
  std::string best;
  int most = 0;
  for (const auto& [name, count] : counts) {
    if (count > most) {
      best = name;
      most = count;
    }
  }
  return best;
}

}  // namespace discovery
