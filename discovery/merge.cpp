#include "merge.h"

#include <algorithm>

#include "cp932.h"
#include "names.h"

namespace discovery {

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return SameName(n, name); });
}

}  // namespace

void Details::Add(const Details& other) {
  for (auto [mine, theirs] : {std::pair{&manufacturer, &other.manufacturer}, std::pair{&model, &other.model},
                              std::pair{&friendlyName, &other.friendlyName},
                              std::pair{&presentationUrl, &other.presentationUrl}, std::pair{&mac, &other.mac}})
    if (mine->empty()) *mine = *theirs;
  if (netbiosNames.empty()) netbiosNames = other.netbiosNames;
}

Merge::Merge(std::string workgroup) : workgroup_(std::move(workgroup)) {}

std::optional<size_t> Merge::Find(const Finding& f) const {
  std::optional<size_t> found;
  const auto name = byName_.find(cp932::UpperAscii(f.name));
  if (name != byName_.end()) found = name->second;
  if (!f.address.empty()) {
    const auto address = byAddress_.find(f.address);
    if (address != byAddress_.end() && (!found || address->second < *found)) found = address->second;
  }
  return found;
}

void Merge::Index(size_t index, const Finding& f) {
  Computer& c = computers_[index];
  if (!Contains(c.names, f.name)) c.names.push_back(f.name);
  if (c.text.empty() && !f.text.empty() && SameName(f.name, c.names.front())) c.text = f.text;
  c.details.Add(f.details);
  byName_.emplace(cp932::UpperAscii(f.name), index);  // an earlier computer keeps the name
  if (!f.address.empty()) {
    byAddress_.emplace(f.address, index);
    if (std::find(c.addresses.begin(), c.addresses.end(), f.address) == c.addresses.end())
      c.addresses.push_back(f.address);
  }
}

bool Merge::Placed(const Finding& f) const {
  const std::optional<size_t> c = Find(f);
  return c && computers_[*c].workgroup;
}

bool Merge::Listed(const Computer& c) const { return c.workgroup && SameName(*c.workgroup, workgroup_); }

std::optional<std::string> Merge::AddWorkgroup(const Finding& f) {
  // A browse list entry is a workgroup here; another source's finding is a
  // computer, and only the workgroup it names may be a row.
  const std::optional<std::string> name = BrowseListName(f.origin == Origin::BrowseList ? f.name : f.workgroup);
  if (!name) return std::nullopt;
  const auto [at, added] = workgroupIndex_.emplace(cp932::UpperAscii(*name), workgroupRows_.size());
  if (!added) {
    std::vector<Origin>& origins = workgroupRows_[at->second].origins;
    if (std::find(origins.begin(), origins.end(), f.origin) == origins.end()) origins.push_back(f.origin);
    return std::nullopt;
  }
  workgroupRows_.push_back(MergedComputer{*name, {}, {}, {}, {f.origin}, {}});
  ++rows_;
  return name;
}

std::optional<std::string> Merge::Add(const Finding& f) {
  if (f.name.empty()) return std::nullopt;
  if (workgroup_.empty()) return AddWorkgroup(f);
  std::optional<std::string> workgroup;
  if (f.origin == Origin::BrowseList)
    workgroup = workgroup_;
  else if (!f.workgroup.empty())
    workgroup = f.workgroup;

  std::optional<size_t> index = Find(f);
  if (!index) {
    index = computers_.size();
    computers_.emplace_back();
  }
  Index(*index, f);
  Computer* c = &computers_[*index];
  if (std::find(c->origins.begin(), c->origins.end(), f.origin) == c->origins.end()) c->origins.push_back(f.origin);
  // The first source that knows the workgroup decides it.
  if (!c->workgroup && workgroup) c->workgroup = workgroup;

  if (c->shown || !Listed(*c)) return std::nullopt;
  c->shown = true;
  shown_.push_back(*index);
  ++rows_;
  return c->names.front();
}

std::vector<std::string> Merge::Finish() {
  std::vector<std::string> rows;
  for (Computer& c : computers_) {
    if (c.shown || c.workgroup) continue;
    c.shown = true;
    shown_.push_back(static_cast<size_t>(&c - computers_.data()));
    ++rows_;
    rows.push_back(c.names.front());
  }
  return rows;
}

std::vector<MergedComputer> Merge::Listed() const {
  if (workgroup_.empty()) return workgroupRows_;
  std::vector<MergedComputer> listed;
  listed.reserve(shown_.size());
  for (const size_t index : shown_) {
    const Computer& c = computers_[index];
    listed.push_back(MergedComputer{c.names.front(), c.text, c.addresses, c.workgroup.value_or(std::string()),
                                    c.origins, c.details});
  }
  return listed;
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
