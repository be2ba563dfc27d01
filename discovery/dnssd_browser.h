#pragma once
// DNS-SD through the desktop's mDNS daemon (libavahi-client): browses
// "_smb._tcp" and resolves each service to its host name and address. With no
// daemon to talk to, the source cannot ask (Outcome::NoDaemon).
#include <QObject>
#include <memory>
#include <vector>

#include "search_owner.h"

namespace discovery {

class DnsSdBrowser final : public QObject, public Source {
  Q_OBJECT

 public:
  explicit DnsSdBrowser(QObject* parent = nullptr);
  ~DnsSdBrowser() override;

  Outcome Start(int windowMs, Found found, Done done) override;
  void Cancel() override;

 private:
  class Search;
  SearchOwner<Search> searches_;
};

}  // namespace discovery
