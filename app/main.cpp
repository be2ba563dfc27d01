#include <QApplication>
#include <QTimer>

#include "LoginDialog.h"
#include "Unit1.h"
#include "formdeps.h"
#include "cli.h"
#include "cp932.h"
#include "formlook.h"
#include "hardening.h"
#include "listlocation.h"
#include "samba_conf.h"
#include "smb1_consent.h"
#include "uiservices_desktop.h"

int main(int argc, char** argv) {
  // Before anything can hold a password.
  KeepSecretsOutOfCoreDumps();
  // A subcommand runs without a window, and without a display (cli.h).
  if (cli::Requested(argc, argv)) return cli::Main(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mirelka"));
  // Desktops that match windows to menu entries by name find mirelka.desktop.
  QGuiApplication::setDesktopFileName(QStringLiteral("mirelka"));
  // The window's font family, or a Japanese Gothic where it is absent.
  UseStandInFonts();

  // Computers that refuse guests: a ticket, this session's, the keyring's
  // credentials, guest, then the login dialog, which lives on the window's
  // thread (the share tree's workers reach it through the relay).
  LoginDialogPrompt dialog;
  PlatformBackends platform(Want{true, true, &dialog});
  auto ui = MakeDesktopUiServices(
      nullptr, [&platform](const std::string& host) { return platform.login->UserFor(cp932::ToUtf8(host)); });
  const pclist::ListLocation list =
      pclist::LocateListFile(QApplication::applicationFilePath().toLocal8Bit().toStdString(), pclist::UserConfigHome(),
                             MIRELKA_INSTALLED_COPY ? pclist::Copy::kInstalled : pclist::Copy::kPortable);
  // The settings file lives beside the list file, whose format is fixed.
  Smb1Consents consents(Smb1ConsentPath(list.path));
  Seams seams = platform.SeamsFor(ui.get());
  seams.sambaConfigPath = discovery::kSambaConfigPath;
  seams.consents = &consents;
  Engines engines(seams);
  const TForm1Deps deps = FormDepsFor(engines, list.path, list.oldPath);

  int result = 0;
  {
    TForm1 Form1(deps);
    Form1.show();
    // A termination request made during start-up ends the loop at its first turn.
    if (Form1.TerminateRequested()) QTimer::singleShot(0, &app, &QCoreApplication::quit);
    result = QApplication::exec();
  }  // FormDestroy runs here
  // A browse read the window left running (a server that hangs) may still be
  // inside the provider: the process then ends without waiting for it.
  EndAtOnceIfReadsRun(result, 0);
  return result;
}
