#pragma once
// The merge of what the sources find into the rows of one workgroup listing,
// as plain logic: one row per computer (the same name without regard to case,
// or the same address), and a computer listed only under its own workgroup
// when that is known, under every workgroup when it cannot be known. An
// empty workgroup lists the workgroups themselves, never a computer.
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "source.h"

namespace discovery {

// One computer of a listing as the merge knows it when the sources are done.
struct MergedComputer {
  std::string name;                    // the row's caption (bytes)
  std::string text;                    // the caption as the peer sent it (UTF-8); empty when none did
  std::vector<std::string> addresses;  // in the order found
  std::string workgroup;               // empty: unknown
  std::vector<Origin> origins;         // the sources that saw it, in the order they did
  Details details;                     // what the sources said of it, the first to say each
};

class Merge {
 public:
  // workgroup: the workgroup being listed (the field's text, bytes). Empty:
  // the rows are workgroups, the browse list's entries (the provider's
  // top-level containers) and those the other sources name, each once.
  explicit Merge(std::string workgroup);

  // Takes one finding; returns the caption of a row to append now, if any.
  // A browse list entry belongs to the listed workgroup; a computer whose
  // workgroup is still unknown waits for Finish, since another source may
  // yet place it elsewhere.
  std::optional<std::string> Add(const Finding& finding);
  // The sources are done: rows for the computers whose workgroup stayed
  // unknown, in the order they were found.
  std::vector<std::string> Finish();

  // True when the computer this finding belongs to has a known workgroup.
  bool Placed(const Finding& finding) const;

  int Rows() const { return rows_; }
  // The computers of the rows given so far, in row order.
  std::vector<MergedComputer> Listed() const;
  // Computers a source reported (after merging) that belong to another workgroup.
  int Elsewhere(Origin origin) const;

 private:
  struct Computer {
    std::vector<std::string> names;
    std::vector<std::string> addresses;
    std::optional<std::string> workgroup;
    std::vector<Origin> origins;
    std::string text;  // the peer's own text for names.front()
    Details details;
    bool shown = false;
  };
  // The first computer (in the order found) that has the finding's name or
  // address; the indexes keep this a lookup, however many there are.
  std::optional<size_t> Find(const Finding& finding) const;
  void Index(size_t computer, const Finding& finding);
  bool Listed(const Computer& c) const;
  std::optional<std::string> AddWorkgroup(const Finding& finding);

  std::string workgroup_;
  std::vector<Computer> computers_;
  std::vector<size_t> shown_;                               // computers in row order
  std::unordered_map<std::string, size_t> byName_;          // folded name -> first computer with it
  std::unordered_map<std::string, size_t> byAddress_;       // address -> first computer with it
  std::vector<MergedComputer> workgroupRows_;               // an empty workgroup's rows: name and origins only
  std::unordered_map<std::string, size_t> workgroupIndex_;  // folded name -> its row
  int rows_ = 0;
};

// The workgroup most of these findings report (ties: the one reported
// first), without regard to case; empty when none reports one.
std::string MostReportedWorkgroup(const std::vector<Finding>& findings);

}  // namespace discovery
