#pragma once
// WS-Discovery over Qt Network: one UDP socket per up, multicast-capable,
// non-loopback interface (IPv4, and IPv6 link-local where present), a Probe
// sent four times, Resolves for matches without addresses, and the metadata
// fetched by HTTP from the answering host itself.
#include <QObject>
#include <memory>
#include <vector>

#include "search_owner.h"

namespace discovery {

class WsdClient final : public QObject, public Source {
  Q_OBJECT

 public:
  explicit WsdClient(QObject* parent = nullptr);
  ~WsdClient() override;

  Outcome Start(int windowMs, Found found, Done done) override;
  void Cancel() override;

 private:
  class Search;
  SearchOwner<Search> searches_;
};

}  // namespace discovery
