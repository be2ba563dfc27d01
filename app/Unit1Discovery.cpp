// The workgroup listing and the start-up workgroup: the window asks the
// listing engine (discovery::Listing), which keeps the sources running and
// reads the browse list off this thread.
#include <QLineEdit>

#include "TListView.h"
#include "Unit1.h"
#include "Unit1Text.h"
#include "listing.h"
#include "netresources.h"

discovery::Listing& TForm1::ListingEngine() {
  if (listing_) return *listing_;
  discovery::ListingDeps d;
  d.wsDiscovery = deps_.wsDiscovery;
  d.dnsSd = deps_.dnsSd;
  d.nodeStatus = deps_.nodeStatus;
  netinfo::NetProvider* const provider = deps_.provider;
  d.browseList = [provider](const std::string& workgroup) -> std::optional<std::vector<std::string>> {
    netinfo::ResourceList list;
    if (!netinfo::EnumNetResources(*provider, workgroup, netinfo::kWindowsNetwork, list)) return std::nullopt;
    return list;
  };
  d.browseWorkgroup = [provider] { return netinfo::FindWorkgroupName(*provider, 255); };
  d.sambaConfigPath = deps_.sambaConfigPath;
  UiServices* const ui = deps_.ui;
  d.wait = [ui] { ui->WaitForMessages(); };
  d.clock = deps_.clock;
  listing_ = std::make_unique<discovery::Listing>(std::move(d));
  return *listing_;
}

QString TForm1::ListComputers() {
  const discovery::Listing::Result result =
      ListingEngine().List(Bytes(workgroupname->text()),
                           [this](const std::string& caption) { ListView3->AddRow(Text(caption), {QString()}); });
  if (result.failed) deps_.ui->MessageBox(QStringLiteral("異常終了"));
  return result.status;
}

std::string TForm1::StartupWorkgroup() { return ListingEngine().StartupWorkgroup(); }
