// One DNS-SD search from the command line (bench/list-side-by-side.sh): the
// platform's source (avahi-daemon where it answers, else the own multicast
// DNS browse), or with -o the own browse alone. Prints each computer found
// as it comes and the search's end, with the milliseconds since the program
// started:
//
//   mlk_dnssd [-o]
//   312 mdnshost 10.231.0.31 MacSamba
//   551 done
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "dnssd.h"
#include "listing.h"

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  QCoreApplication app(argc, argv);
  const bool own = argc > 1 && std::strcmp(argv[1], "-o") == 0;
  const std::unique_ptr<discovery::Source> source = own ? discovery::MakeMdnsBrowse() : discovery::MakeDnsSd();
  int code = 1;
  const discovery::Outcome asked = source->Start(
      discovery::Listing::kWindowMs,
      [&](const discovery::Finding& f) {
        std::printf("%lld %s %s %s\n", static_cast<long long>(clock.elapsed()), f.text.c_str(), f.address.c_str(),
                    f.details.model.c_str());
        std::fflush(stdout);
      },
      [&](discovery::Outcome outcome) {
        std::printf("%lld done\n", static_cast<long long>(clock.elapsed()));
        code = outcome == discovery::Outcome::Answered ? 0 : 1;
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
      });
  if (asked != discovery::Outcome::Answered) return 2;
  app.exec();
  return code;
}
