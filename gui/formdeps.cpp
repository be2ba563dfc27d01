#include "formdeps.h"

TForm1Deps FormDepsFor(Engines& engines, std::string listFilePath, std::string oldListFilePath) {
  const Seams& seams = engines.seams;
  TForm1Deps deps;
  deps.ui = seams.ui;
  deps.sockets = seams.sockets;
  deps.engines = &engines;
  deps.listFilePath = std::move(listFilePath);
  deps.oldListFilePath = std::move(oldListFilePath);
  deps.loginRelay = seams.loginRelay;
  deps.clock = seams.clock;
  deps.smb1Offered = seams.provider && seams.provider->CanAllowSmb1();
  deps.consents = seams.consents;
  if (engines.CanDiagnose()) deps.diagnose = [&engines](const std::string& name) { return engines.Diagnose(name); };
  return deps;
}
