#include <QProcess>

#include "launcher.h"

// The desktop's own handler opens the share's URL; the URL travels as one
// argument of an argument vector, never through a shell.
void StartFileManager(const std::string& commandLine, const std::string& uncText, const UserForHost& userFor) {
  const QByteArray url = SmbUrlForCommandLine(commandLine, userFor, uncText);
  if (url.isEmpty()) return;
  QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromLatin1(url)});
}
