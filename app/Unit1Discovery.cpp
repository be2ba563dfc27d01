// The workgroup listing and the start-up workgroup with the sources beside
// the browse list (WS-Discovery, DNS-SD), merged by discovery::Merge. A
// computer found only by DNS-SD is asked its workgroup by node status.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <map>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "merge.h"
#include "netresources.h"
#include "samba_conf.h"

namespace {

// How long the sources look for computers in one listing. Answers to a Probe
// come within 500 ms, a Resolve's within as much again; the browse list is
// read meanwhile.
constexpr int kListingWindowMs = 1500;
// The longest the splash waits for a workgroup that the browse list did not give.
constexpr int kStartupWaitMs = 1500;
// A source that overruns its window is not waited for beyond this.
constexpr int kListingBoundMs = 2500;

using discovery::Finding;
using discovery::Origin;
using discovery::Outcome;

// One running source of a listing; cancelled when the listing ends, however it ends.
struct Search {
  discovery::Source* source = nullptr;
  Outcome outcome = Outcome::NoDaemon;
  bool running = false;
  void End() {
    if (!running) return;
    source->Cancel();
    running = false;
    outcome = Outcome::NoAnswer;
  }
  ~Search() { End(); }
};

void Begin(Search& search, discovery::Source* source, int windowMs, const discovery::Source::Found& found) {
  search.source = source;
  if (!source) return;
  search.outcome = source->Start(windowMs, found, [&search](Outcome outcome) {
    search.outcome = outcome;
    search.running = false;
  });
  search.running = search.outcome == Outcome::Answered;
}

// What one source did, for a listing that found nothing.
QString Explain(const char* name, const Search& search, int elsewhere) {
  const QString source = QString::fromUtf8(name);
  if (!search.source) return {};
  switch (search.outcome) {
    case Outcome::NoInterface:
      return source + QStringLiteral("送信先なし");
    case Outcome::NoSocket:
      return source + QStringLiteral("送信不可");
    case Outcome::NoDaemon:
      return QStringLiteral("mDNSデーモン停止中");
    case Outcome::NoAnswer:
      return source + QStringLiteral("応答なし");
    case Outcome::Answered:
      return source + QStringLiteral("は他WGの%1台のみ").arg(elsewhere);
  }
  return {};
}

// Pumps messages until the searches end (and the workgroup questions, when
// given) or boundMs has passed since clock started; a timer makes sure the
// wait wakes up at the bound.
void WaitFor(UiServices& ui, const std::vector<Search*>& searches, const QElapsedTimer& clock, int boundMs,
             discovery::WorkgroupQuery* questions = nullptr) {
  auto running = [&] {
    return std::any_of(searches.begin(), searches.end(), [](const Search* s) { return s->running; }) ||
           (questions && questions->Waiting());
  };
  QTimer bound;
  bound.setSingleShot(true);
  bound.start(static_cast<int>(std::max<qint64>(0, boundMs - clock.elapsed())));
  while (running() && bound.isActive()) ui.WaitForMessages();
  bound.stop();
  // Whatever overran the bound is ended here and counts as not answering.
  for (Search* s : searches) s->End();
  if (questions) questions->Cancel();
}

}  // namespace

QString TForm1::ListComputers() {
  QElapsedTimer clock;
  clock.start();
  const std::string workgroup = Bytes(workgroupname->text());
  discovery::Merge merge(workgroup);
  discovery::WorkgroupQuery* const nodeStatus = deps_.nodeStatus;
  std::map<std::string, std::string> asked;  // address -> the name it was found under
  auto take = [this, &merge, nodeStatus, &asked](const Finding& finding) {
    if (const std::optional<std::string> caption = merge.Add(finding)) ListView3->AddRow(Text(*caption), {QString()});
    // Found only by DNS-SD so far: its own answer to node status may place it.
    if (nodeStatus && finding.origin == Origin::DnsSd && !finding.address.empty() && !merge.Placed(finding) &&
        !asked.count(finding.address) && nodeStatus->Ask(finding.address))
      asked.emplace(finding.address, finding.name);
  };
  if (nodeStatus)
    nodeStatus->Begin(kListingWindowMs, [&take, &asked](const std::string& address, const std::string& group) {
      const auto it = asked.find(address);
      if (it != asked.end()) take(Finding{Origin::NodeStatus, it->second, address, group});
    });

  // The sources send first; their answers wait in the sockets while the
  // browse list is read, and are taken as they come after it.
  Search wsd, dnsSd;
  Begin(wsd, deps_.wsDiscovery, kListingWindowMs, take);
  Begin(dnsSd, deps_.dnsSd, kListingWindowMs, take);

  netinfo::ResourceList list;
  const bool browsed = netinfo::EnumNetResources(*deps_.provider, workgroup, netinfo::kWindowsNetwork, list);
  for (const std::string& entry : list) {
    Finding finding;
    finding.origin = Origin::BrowseList;
    finding.name = cp932::removeBackslashes(entry);
    take(finding);
  }
  WaitFor(*deps_.ui, {&wsd, &dnsSd}, clock, kListingBoundMs, nodeStatus);
  for (const std::string& caption : merge.Finish()) ListView3->AddRow(Text(caption), {QString()});

  const bool wsdAsked = wsd.source && !discovery::CouldNotRun(wsd.outcome);
  const bool dnsSdAsked = dnsSd.source && !discovery::CouldNotRun(dnsSd.outcome);
  if (!browsed && !wsdAsked && !dnsSdAsked) deps_.ui->MessageBox(QStringLiteral("異常終了"));
  if (ListView3->RowCount() > 0) return QStringLiteral("終了");

  // Nothing found: one short line on what each source found or why it could not ask.
  QStringList parts;
  parts << (browsed ? QStringLiteral("ブラウズリスト0台") : QStringLiteral("ブラウズリストなし"));
  for (const QString& part : {Explain("WSD", wsd, merge.Elsewhere(Origin::WsDiscovery)),
                              Explain("DNS-SD", dnsSd, merge.Elsewhere(Origin::DnsSd))})
    if (!part.isEmpty()) parts << part;
  return QStringLiteral("終了 (") + parts.join(QStringLiteral("、")) + QStringLiteral(")");
}

std::string TForm1::StartupWorkgroup() {
  QElapsedTimer clock;
  clock.start();
  std::vector<Finding> found;
  Search wsd;
  Begin(wsd, deps_.wsDiscovery, kStartupWaitMs, [&found](const Finding& f) { found.push_back(f); });

  std::string workgroup = netinfo::FindWorkgroupName(*deps_.provider, 255).value_or(std::string());
  if (!workgroup.empty()) return workgroup;

  WaitFor(*deps_.ui, {&wsd}, clock, kStartupWaitMs);
  workgroup = discovery::MostReportedWorkgroup(found);
  if (workgroup.empty() && !deps_.sambaConfigPath.empty()) workgroup = discovery::SambaWorkgroup(deps_.sambaConfigPath);
  return workgroup;
}
